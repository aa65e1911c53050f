#include "main/settings/views/SettingsWindowController.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "main/notch/geometry/NotchGeometry.h"
#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/ui/widgets/CloseKeys.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/SettingsPalette.h"
#include "main/ui/widgets/WindowFit.h"
#include "platform/desktop/ScreenProvider.h"

namespace murmeli::settings {

SettingsWindowController::SettingsWindowController(
    SettingsEnvironment environment, SettingsHost* host, std::unique_ptr<SettingsViewModel> vm)
    : m_environment(std::move(environment)), m_vm(std::move(vm))
{
    if (!m_vm) {
        m_vm = std::make_unique<SettingsViewModel>(m_environment.defaults, m_environment.loginItem);
    }
    if (host != nullptr) {
        m_vm->onCustomPTTHotkeyChanged = [host](const PTTHotkey& hotkey) { host->rebindCustomPTTHotkey(hotkey); };
        m_vm->onLog = [host](const QString& message, common::LogColor color) { host->log(message, color); };
    }

    m_window = std::make_unique<QWidget>();
    m_window->setWindowTitle(QString::fromLatin1(windowTitle));
    m_window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint
        | Qt::CustomizeWindowHint);
    m_window->setPalette(ui::SettingsPalette::dark());
    m_window->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    m_rootView = new SettingsRootView(m_environment, *m_vm, host, m_window.get());
    layout->addWidget(m_rootView);

    ui::FocusRing::install(*m_window);
    ui::CloseKeys::install(*m_window);

    // Every new window opens centred; later presentations leave it where the user put it.
    fitToScreen(fixedSize);
    if (const QScreen* screen = m_window->screen()) {
        QRect frame(QPoint(), m_window->size());
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
        ui::WindowFit::keepOnScreen(*m_window, underStrip());
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::present()
{
    fitToScreen(fixedSize);
    // Minimised, the window comes back as it was: showing it alone leaves it (and its sheet) out of sight.
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    ui::WindowFit::show(
        *m_window, [this] { fitToScreen(m_window->size()); }, underStrip());
    m_window->raise();
    m_window->activateWindow();
    // A sheet open over the window takes the keys: it comes to the front rather than the window it blocks.
    const QList<QWidget*> children = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const auto sheet = std::find_if(children.rbegin(), children.rend(), [](const QWidget* child) {
        return child->isWindow() && child->isVisible() && child->windowModality() != Qt::NonModal;
    });
    if (sheet != children.rend()) {
        (*sheet)->raise();
        (*sheet)->activateWindow();
    }
    // The window manager maps the window when it gets round to it, or not at all: a person who asked and sees
    // nothing finds why in the log.
    QTimer::singleShot(comeUpMs, m_window.get(), [this, asked = ++m_asked] {
        const QWindow* handle = m_window->windowHandle();
        if (asked == m_asked && m_window->isVisible() && !(handle && handle->isExposed()) && m_vm->onLog) {
            m_vm->onLog(QStringLiteral("\u26A0 Settings: the settings window was asked for, but the desktop has not "
                                       "shown it %1 s later")
                            .arg(comeUpMs / 1000),
                common::LogColor::Orange);
        }
    });
}

void SettingsWindowController::fitToScreen(QSize wanted)
{
    const QMargins strip = underStrip();
    m_window->setFixedSize(wanted.boundedTo(ui::WindowFit::room(*m_window, strip)));
    ui::WindowFit::keepOnScreen(*m_window, strip);
}

QMargins SettingsWindowController::underStrip() const
{
    // The strip stands above every window at the top centre of its screen: a window that reached up there, as one
    // fitted to a small screen does, would have the middle of its title bar under it.
    const QScreen* screen = m_window->screen();
    const std::optional<notch::NotchGeometry> strip
        = notch::NotchGeometry::current(m_environment.screens, m_environment.defaults);
    if (screen == nullptr || !strip) {
        return {};
    }
    const QRectF band = m_environment.screens.space().toQt(
        QRectF(strip->centerX - strip->width / 2, strip->panelTopY(strip->height), strip->width, strip->height));
    if (!screen->geometry().contains(band.center().toPoint())) {
        return {};
    }
    return { 0, std::max(0, static_cast<int>(std::ceil(band.bottom())) - screen->availableGeometry().top()), 0, 0 };
}

} // namespace murmeli::settings
