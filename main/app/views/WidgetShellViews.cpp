#include "main/app/views/WidgetShellViews.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include "main/app/AppController.h"
#include "main/app/shell/NotificationHub.h"
#include "main/app/views/ActivityLogWindow.h"
#include "main/app/views/ControllerSettingsHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/panel/VisualLinkController.h"
#include "main/settings/views/SettingsWindowController.h"
#include "platform/autostart/LoginItemFactory.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/desktop/ScreenProviderFactory.h"
#include "platform/overlay/OverlayServicesFactory.h"

namespace murmeli::app {

WidgetShellViews::WidgetShellViews() = default;

WidgetShellViews::~WidgetShellViews()
{
    // The controller may outlive its windows: its link must not call into a view that is gone.
    if (m_linkedController) {
        m_linkedController->onVisualLink = nullptr;
    }
    m_visualLink.reset();
    m_panel.reset();
}

platform::ScreenProvider& WidgetShellViews::screens()
{
    if (!m_screens) {
        m_screens = platform::makeScreenProvider();
    }
    return *m_screens;
}

void WidgetShellViews::buildActivityLog()
{
    if (!m_activityLog) {
        m_activityLog = std::make_unique<ActivityLogWindow>();
    }
}

void WidgetShellViews::appendLog(const QString& message, common::LogColor color)
{
    if (m_activityLog) {
        m_activityLog->append(QDateTime::currentDateTime(), message, color);
    }
}

void WidgetShellViews::showActivityLog()
{
    buildActivityLog();
    m_activityLog->present();
}

void WidgetShellViews::showSettings(AppController& controller)
{
    if (!m_settingsWindow) {
        m_loginItem = platform::makeLoginItem(QCoreApplication::applicationFilePath());
        m_settingsHost = std::make_unique<ControllerSettingsHost>(controller);
        m_settingsWindow = std::make_unique<settings::SettingsWindowController>(
            settings::SettingsEnvironment { controller.defaults(), *m_loginItem, screens(), controller.notifications(),
                QDir::homePath(), [](const QUrl& url) { QDesktopServices::openUrl(url); } },
            m_settingsHost.get());
    }
    m_settingsWindow->present();
}

void WidgetShellViews::showNotchPanel(
    AppController& controller, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome)
{
    if (m_panel) {
        return;
    }
    m_overlay = std::make_unique<platform::OverlayServices>(platform::makeOverlayServices());
    const platform::DesktopServices desktop = platform::makeDesktopServices();
    m_hotkeys = desktop.hotkeys;
    m_windows = desktop.windows;
    controller.setWindowSystem(desktop.windows);
    m_visualLink = std::make_unique<notch::VisualLinkController>(notch::VisualLinkLinks {
        controller.clock(), screens(), controller.defaults(), *m_windows, *m_overlay->frames });
    controller.onVisualLink = [this](std::optional<qint64> pid) { m_visualLink->trigger(pid); };
    m_linkedController = &controller;
    m_panel
        = std::make_unique<notch::NotchPanelController>(notch::NotchPanelLinks { controller.vm(), controller.clock(),
            screens(), controller.defaults(), *m_overlay->input, *m_overlay->pointer, m_hotkeys.get(), {} });
    m_panel->setAudioCue(std::move(cue));
    m_panel->onLog = [&controller](const QString& message, common::LogColor color) {
        if (controller.onLog) {
            controller.onLog(message, color);
        }
    };
    m_panel->onOpenSettingsPermissions = [&controller] { Q_EMIT controller.notifications().openSettingsPermissions(); };
    m_panel->onShowSettings = [&controller] { Q_EMIT controller.notifications().showSettings(); };

    // Any change of the screens, and the display picker's choice, places the panel anew.
    notch::NotchPanelController* panel = m_panel.get();
    const auto follow = [panel](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, panel, [panel] { panel->screenParametersChanged(); });
        QObject::connect(
            screen, &QScreen::availableGeometryChanged, panel, [panel] { panel->screenParametersChanged(); });
    };
    for (QScreen* screen : QGuiApplication::screens()) {
        follow(screen);
    }
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QObject::connect(application, &QGuiApplication::screenAdded, panel, [panel, follow](QScreen* screen) {
        follow(screen);
        panel->screenParametersChanged();
    });
    QObject::connect(
        application, &QGuiApplication::screenRemoved, panel, [panel] { panel->screenParametersChanged(); });
    QObject::connect(
        application, &QGuiApplication::primaryScreenChanged, panel, [panel] { panel->screenParametersChanged(); });
    QObject::connect(&controller.notifications(), &NotificationHub::screenParametersChanged, panel,
        [panel] { panel->screenParametersChanged(); });

    m_panel->show();
    if (flashWelcome) {
        m_panel->triggerStart();
    }
}

void WidgetShellViews::showInformation(
    const QString& message, const QString& informativeText, std::function<void()> onDismissed)
{
    // Modal for the whole application but shown without a nested event loop, so the main thread keeps serving the
    // agents while it is up. (open() would make it modal to a parent it does not have.)
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("murmeli"), message, QMessageBox::Ok);
    box->setInformativeText(informativeText);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [onDismissed = std::move(onDismissed)] {
        if (onDismissed) {
            onDismissed();
        }
    });
    box->show();
}

} // namespace murmeli::app
