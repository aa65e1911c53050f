#include "main/app/views/WidgetShellViews.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "main/app/AppController.h"
#include "main/app/account/ControllerAccountHost.h"
#include "main/app/views/ActivityLogWindow.h"
#include "main/app/views/ControllerSettingsHost.h"
#include "main/cloud/views/AccountSectionView.h"
#include "main/common/NotificationHub.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/panel/VisualLinkController.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/settings/views/onboarding/OnboardingWindow.h"
#include "main/ui/widgets/SettingsPalette.h"
#include "platform/audio/AudioCaptureFactory.h"
#include "platform/autostart/LoginItemFactory.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/desktop/ScreenProviderFactory.h"
#include "platform/overlay/OverlayServicesFactory.h"
#include "platform/recognizer/SpeechRecognizerFactory.h"

namespace murmeli::app {

WidgetShellViews::WidgetShellViews() = default;

WidgetShellViews::~WidgetShellViews()
{
    for (const QPointer<settings::OnboardingWindow>& window : m_onboardingWindows) {
        delete window.data();
    }
    // The controller may outlive its windows: its link must not call into a view that is gone.
    if (m_linkedController) {
        m_linkedController->dictation().onVisualLink = nullptr;
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
        // Local time is worked out when the line is shown: finding the zone for every line costs a file lookup.
        m_activityLog->append(QDateTime::currentDateTimeUtc(), message, color);
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
        m_accountHost = std::make_unique<ControllerAccountHost>(controller);
        const auto openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
        settings::SettingsEnvironment environment { controller.defaults(), *m_loginItem, screens(),
            controller.notifications(), QDir::homePath(), openUrl, {} };
        environment.accountPage
            = [this, openUrl] { return new cloud::AccountSectionView(m_accountHost.get(), openUrl); };
        m_settingsWindow = std::make_unique<settings::SettingsWindowController>(environment, m_settingsHost.get());
    }
    m_settingsWindow->present();
}

void WidgetShellViews::showOnboarding(AppController& controller, bool isReopen, std::function<void()> onClose)
{
    // Without a display nobody could answer the window, and murmeli must still serve the agents.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        onClose();
        return;
    }
    std::erase_if(m_onboardingWindows, [](const QPointer<settings::OnboardingWindow>& each) { return each.isNull(); });
    // One onboarding window at a time: asked for again while it is open, it comes to the front, and its close
    // answers both requests.
    for (const QPointer<settings::OnboardingWindow>& open : m_onboardingWindows) {
        if (open->isVisible()) {
            open->addCloseAction(std::move(onClose));
            open->present();
            return;
        }
    }
    auto* window = new settings::OnboardingWindow(
        { controller.defaults(), controller.clock(), permissionSources(controller) }, isReopen, std::move(onClose));
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_onboardingWindows.emplace_back(window);
    window->present();
}

std::vector<settings::OnboardingWindow*> WidgetShellViews::onboardingWindows() const
{
    std::vector<settings::OnboardingWindow*> open;
    for (const QPointer<settings::OnboardingWindow>& window : m_onboardingWindows) {
        if (window) {
            open.push_back(window.data());
        }
    }
    return open;
}

settings::PermissionSources WidgetShellViews::permissionSources(AppController& controller)
{
    if (!m_microphone) {
        m_microphone = platform::makeAudioCapture();
    }
    settings::PermissionSources sources;
    // The display's answer is fixed once the desktop is open, so it may be read from the probe's thread.
    sources.injection =
        [windows = controller.dictation().desktopVoice().desktop().windows]() -> std::optional<settings::ProbeOutcome> {
        if (!windows) {
            return std::nullopt;
        }
        const platform::InjectionSupport support = windows->injectionSupport();
        return settings::ProbeOutcome { support.canInject, support.reason };
    };
    sources.microphone = [capture = m_microphone.get()]() -> std::optional<settings::ProbeOutcome> {
        const platform::MicrophoneAccess access = capture->checkAccess();
        if (access.pending) {
            return std::nullopt;
        }
        return settings::ProbeOutcome { access.granted, access.detail };
    };
    // A recogniser of its own, made and dropped on the probe's thread: looking for the model reads the disk.
    sources.recognizerModel = []() -> std::optional<settings::ProbeOutcome> {
        const std::unique_ptr<platform::SpeechRecognizer> recognizer = platform::makeSpeechRecognizer();
        if (recognizer->isAvailable()) {
            return settings::ProbeOutcome { true,
                QStringLiteral("On-device model ready (%1).").arg(recognizer->backendName()) };
        }
        return settings::ProbeOutcome { false,
            QStringLiteral("No on-device model is installed; the cloud still transcribes (Debian: "
                           "pocketsphinx-en-us).") };
    };
    return sources;
}

void WidgetShellViews::showNotchPanel(
    AppController& controller, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome)
{
    if (m_panel) {
        return;
    }
    m_overlay = std::make_unique<platform::OverlayServices>(platform::makeOverlayServices());
    // The controller's own desktop: a second set of X11 key grabs on one connection would undo the other's Esc grab.
    const platform::DesktopServices& desktop = controller.dictation().desktopVoice().desktop();
    m_hotkeys = desktop.hotkeys;
    m_windows = desktop.windows;
    m_visualLink = std::make_unique<notch::VisualLinkController>(notch::VisualLinkLinks {
        controller.clock(), screens(), controller.defaults(), *m_windows, *m_overlay->frames });
    controller.dictation().onVisualLink = [this](std::optional<qint64> pid) { m_visualLink->trigger(pid); };
    m_linkedController = &controller;
    m_panel = std::make_unique<notch::NotchPanelController>(notch::NotchPanelLinks { controller.vm(),
        controller.clock(), screens(), controller.defaults(), *m_overlay->input, *m_overlay->pointer, m_hotkeys.get(),
        {}, m_overlay->stacking.get(), m_overlay->compositing.get(), m_overlay->displayClock.get() });
    m_panel->setAudioCue(std::move(cue));
    m_panel->onLog = [&controller](const QString& message, common::LogColor color) {
        if (controller.onLog) {
            controller.onLog(message, color);
        }
    };
    m_panel->onOpenSettingsPermissions = [&controller] { Q_EMIT controller.notifications().openSettingsPermissions(); };
    m_panel->onShowSettings = [&controller] { Q_EMIT controller.notifications().showSettings(); };
    controller.quitRequest().ask
        = [](const QString& question, const QString& detail, std::function<void(bool)> answer) {
              // Shown without a nested event loop, so held requests keep their timers meanwhile, and not modal: the
              // panel goes on taking the pointer (a modal box would keep it from hearing the pointer leave it).
              auto* box = new QMessageBox(QMessageBox::Warning, question, question);
              // Dark like murmeli's other questions, whose panel it comes from.
              box->setPalette(ui::SettingsPalette::dark());
              // A message box is application modal unless told otherwise, which would keep the panel's cards from
              // taking the answers to the very requests the question counts.
              box->setWindowModality(Qt::NonModal);
              box->setWindowFlag(Qt::WindowStaysOnTopHint);
              box->setInformativeText(detail);
              QPushButton* quit = box->addButton(QStringLiteral("&Quit"), QMessageBox::DestructiveRole);
              box->setDefaultButton(box->addButton(QMessageBox::Cancel));
              box->setAttribute(Qt::WA_DeleteOnClose);
              QObject::connect(box, &QMessageBox::finished, box,
                  [box, quit, answer = std::move(answer)] { answer(box->clickedButton() == quit); });
              box->show();
              box->raise();
              box->activateWindow();
              return [box = QPointer<QMessageBox>(box)](const QString& retold) {
                  if (box) {
                      box->setInformativeText(retold);
                  }
              };
          };
    m_panel->onQuit = [&controller] { controller.quitRequest().request(); };

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
    QObject::connect(&controller.notifications(), &common::NotificationHub::screenParametersChanged, panel,
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
    // Asked for from the settings window, whose dark look it shares.
    box->setPalette(ui::SettingsPalette::dark());
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
