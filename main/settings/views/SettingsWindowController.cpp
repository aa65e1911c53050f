#include "main/settings/views/SettingsWindowController.h"

#include <algorithm>
#include <functional>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/SettingsPalette.h"

namespace murmeli::settings {

namespace {

// Calls fit at the window's first exposure, when the window manager has framed it.
class FitWhenExposed final : public QObject {
public:
    explicit FitWhenExposed(std::function<void()> fit) : m_fit(std::move(fit)) { }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && m_fit && static_cast<QWindow*>(watched)->isExposed()) {
            std::exchange(m_fit, nullptr)();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_fit;
};

} // namespace

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
    const bool framed = m_window->windowHandle() != nullptr && m_window->windowHandle()->isExposed();
    m_window->show();
    if (!framed) {
        m_fitWhenShown = std::make_unique<FitWhenExposed>([this] {
            const QScreen* screen = m_window->screen();
            if (screen != nullptr && !screen->availableGeometry().contains(m_window->frameGeometry())) {
                fitToScreen(m_window->size());
            }
        });
        m_window->windowHandle()->installEventFilter(m_fitWhenShown.get());
    }
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
    const QScreen* screen = m_window->screen();
    if (screen == nullptr) {
        m_window->setFixedSize(wanted);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QMargins frame = m_window->windowHandle() != nullptr ? m_window->windowHandle()->frameMargins() : QMargins();
    const QSize size = wanted.boundedTo(area.size().shrunkBy(frame)).expandedTo({ 1, 1 });
    m_window->setFixedSize(size);
    // A window's position is its frame's.
    const QSize outer = size.grownBy(frame);
    const QPoint inside(std::clamp(m_window->x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())),
        std::clamp(m_window->y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    if (inside != m_window->pos()) {
        m_window->move(inside);
    }
}

} // namespace murmeli::settings
