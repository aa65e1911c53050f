#include "main/settings/views/SettingsWindowController.h"

#include <algorithm>

#include <QScreen>
#include <QVBoxLayout>

#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/ui/widgets/CloseKeys.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/SettingsPalette.h"
#include "main/ui/widgets/WindowFit.h"

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
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::present()
{
    fitToScreen(fixedSize);
    // Minimised, the window comes back as it was: showing it alone leaves it (and its sheet) out of sight.
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    ui::WindowFit::show(*m_window, [this] { fitToScreen(m_window->size()); });
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
}

void SettingsWindowController::fitToScreen(QSize wanted)
{
    m_window->setFixedSize(wanted.boundedTo(ui::WindowFit::room(*m_window)));
    ui::WindowFit::keepOnScreen(*m_window);
}

} // namespace murmeli::settings
