#include "main/settings/views/SettingsWindowController.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/ui/widgets/SettingsPalette.h"

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
    m_window->setFixedSize(fixedSize);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    m_rootView = new SettingsRootView(m_environment, *m_vm, host, m_window.get());
    layout->addWidget(m_rootView);

    // Every new window opens centred; later presentations leave it where the user put it.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), fixedSize);
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::present()
{
    m_window->setFixedSize(fixedSize);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace murmeli::settings
