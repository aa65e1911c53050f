#include "main/app/AppDelegate.h"

#include <QPointer>
#include <QThread>

#include "main/app/AppController.h"
#include "main/app/shell/ShellViews.h"
#include "main/common/NotificationHub.h"
#include "main/common/ResourcePaths.h"
#include "main/settings/onboarding/OnboardingController.h"
#include "main/ui/design/FontFolder.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::app {

using common::LogColor;

AppDelegate::AppDelegate(AppController& controller, ShellViews& views, QString binaryPath, QString fontsFolder)
    : m_controller(controller), m_views(views), m_binaryPath(std::move(binaryPath)),
      m_fontsFolder(std::move(fontsFolder))
{
}

AppDelegate::~AppDelegate()
{
    // The controller may outlive the delegate; its callbacks must not reach into a delegate that is gone.
    m_controller.onLog = nullptr;
    m_controller.sessions().onStatusChange = nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    registerFonts();
    m_views.buildActivityLog();
    runOnboardingGate([this] {
        setupNotchPanel();
        m_controller.startBackend(m_binaryPath);
    });
    addNotificationObservers();
    requestMicrophoneAccess();
    wireControllerCallbacks();
    // The window did not exist yet when the fonts were registered.
    log(m_fontsLine, m_fontsLineColor);
    log(QStringLiteral("murmeli ready"), LogColor::Green);
    validateCloudSessionOnLaunch();
}

void AppDelegate::log(const QString& message, LogColor color)
{
    common::writeToStderr(message, color);
    if (QThread::currentThread() != m_context.thread()) {
        // The window belongs to the main thread; a line from elsewhere is handed over.
        QMetaObject::invokeMethod(
            &m_context, [this, message, color] { m_views.appendLog(message, color); }, Qt::QueuedConnection);
        return;
    }
    m_views.appendLog(message, color);
}

void AppDelegate::registerFonts()
{
    const QString folder = m_fontsFolder.isEmpty()
        ? common::findResourceFolder(m_binaryPath, common::ResourceFolder::Fonts).value_or(QString())
        : m_fontsFolder;
    if (folder.isEmpty()) {
        m_fontsLine
            = QStringLiteral("[diag] fonts: no fonts folder beside %1; system faces stand in").arg(m_binaryPath);
        m_fontsLineColor = LogColor::Orange;
        return;
    }
    const ui::FontRegistration registered = ui::registerFontFolder(folder);
    if (registered.registeredFiles == 0 || !registered.failedFiles.isEmpty()) {
        m_fontsLine = QStringLiteral("[diag] fonts: %1 file(s) of %2 loaded, refused: %3")
                          .arg(registered.registeredFiles)
                          .arg(folder, registered.failedFiles.join(QStringLiteral(", ")));
        m_fontsLineColor = LogColor::Orange;
        return;
    }
    m_fontsLine
        = QStringLiteral("[diag] fonts: %1 from %2").arg(registered.families.join(QStringLiteral(", ")), folder);
    m_fontsLineColor = LogColor::Blue;
}

settings::OnboardingController::ShowWindow AppDelegate::onboardingWindows()
{
    return [this](bool isReopen, std::function<void()> onClose) {
        m_views.showOnboarding(m_controller, isReopen, std::move(onClose));
    };
}

void AppDelegate::runOnboardingGate(std::function<void()> completion)
{
    // Even a gate that is already open passes on the next turn of the event loop, when the rest of the launch
    // sequence (the log sink above all) has run.
    QObject* context = &m_context;
    auto passLater = [context, completion = std::move(completion)] {
        QMetaObject::invokeMethod(context, completion, Qt::QueuedConnection);
    };
    settings::OnboardingController::runIfNeeded(m_controller.defaults(), onboardingWindows(), passLater, context);
}

void AppDelegate::forceReopenOnboarding()
{
    settings::OnboardingController::forceReopen(onboardingWindows(), {}, &m_context);
}

void AppDelegate::addNotificationObservers()
{
    common::NotificationHub& hub = m_controller.notifications();
    QObject::connect(
        &hub, &common::NotificationHub::onboardingForceReopen, &m_context, [this] { forceReopenOnboarding(); });
    QObject::connect(&hub, &common::NotificationHub::showActivityLog, &m_context, [this] { openLogWindow(); });
    QObject::connect(&hub, &common::NotificationHub::checkForUpdates, &m_context, [this] { checkForUpdates(); });
    QObject::connect(&hub, &common::NotificationHub::showSettings, &m_context, [this] { showSettingsWindow(); });
    QObject::connect(
        &hub, &common::NotificationHub::openSettingsPermissions, &m_context, [this] { showSettingsWindow(); });
}

void AppDelegate::requestMicrophoneAccess()
{
    // Linux asks nobody for the microphone; the voice pipeline reports a missing input device itself.
}

void AppDelegate::wireControllerCallbacks()
{
    m_controller.onLog = [this](const QString& message, LogColor color) { log(message, color); };
}

void AppDelegate::validateCloudSessionOnLaunch()
{
    // Runs on its own while the launch goes on; the controller acts on the answer when it comes.
    [[maybe_unused]] const QCoro::Task<> validating = m_controller.cloudAccount().validateOnLaunch();
}

void AppDelegate::setupNotchPanel()
{
    if (m_panelSetUp) {
        return;
    }
    m_panelSetUp = true;
    // One cue output, the same for the controller and the panel.
    const std::shared_ptr<device::AudioCueOutput> cue = m_controller.makeAssetCueOutput();
    m_controller.announcements().setAudioCue(cue);
    platform::Defaults& defaults = m_controller.defaults();
    const QString welcomeKey = QString::fromLatin1(welcomeFlashedKey);
    const bool flashWelcome = !defaults.boolValue(welcomeKey).value_or(false);
    m_views.showNotchPanel(m_controller, cue, flashWelcome);
    if (flashWelcome) {
        defaults.setValue(welcomeKey, true);
    }
    // A change and a steady 2 s poll keep the session list current; the poll also drops sessions that went quiet. A
    // burst of events asks for one sync, run once the burst has been handled.
    m_syncSoon.setSingleShot(true);
    m_syncSoon.setInterval(0);
    QObject::connect(&m_syncSoon, &QTimer::timeout, &m_syncSoon, [this] { m_controller.sessions().syncSessions(); });
    m_controller.sessions().onStatusChange = [this] {
        if (!m_syncSoon.isActive()) {
            m_syncSoon.start();
        }
    };
    m_sessionPoll.setInterval(2000);
    QObject::connect(
        &m_sessionPoll, &QTimer::timeout, &m_sessionPoll, [this] { m_controller.sessions().syncSessions(); });
    m_sessionPoll.start();
}

void AppDelegate::openLogWindow()
{
    m_views.showActivityLog();
}

void AppDelegate::showSettingsWindow()
{
    m_views.showSettings(m_controller);
}

void AppDelegate::checkForUpdates()
{
    // No update feed is declared on Linux, so the development build's answer is the one that applies.
    QPointer<QObject> alive = &m_context;
    m_views.showInformation(QStringLiteral("Updates not available in dev build"),
        QStringLiteral("murmeli on Linux has no update feed and does not update itself. To update, get the newer "
                       "source and run bash scripts/run again."),
        [this, alive] {
            if (alive) {
                log(QStringLiteral("[I-337] manual update check skipped: no update feed on Linux"), LogColor::Grey);
            }
        });
}

} // namespace murmeli::app
