#pragma once

#include <functional>
#include <memory>

#include <QObject>

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include "main/hooks/approvals/ApprovalRoad.h"
#include "main/hooks/events/HookEventDispatcher.h"
#include "main/settings/integrations/HookInstaller.h"
#include "main/hooks/terminals/TerminalJump.h"
#include "main/app/account/CloudAccount.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/notch/model/PanelSessionSync.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/app/shell/HealthTicker.h"
#include "main/common/NotificationHub.h"
#include "main/device/tts/Announcements.h"
#include "main/voice/injection/DesktopVoice.h"
#include "main/app/ptt/PushToTalkRoad.h"
#include "main/voice/streaming/StreamingSessionKeeper.h"
#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/device/approvals/BLEApprovalBridge.h"
#include "main/device/link/BLEBridge.h"
#include "main/device/pushers/OverviewBridge.h"
#include "main/device/pushers/SListBridge.h"
#include "main/device/pushers/SessionDetailBridge.h"
#include "main/device/tts/SayTTSBackend.h"
#include "main/hooks/approvals/ApprovalBridge.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/server/HookServer.h"
#include "main/hooks/sessions/FileWatcher.h"
#include "main/hooks/sessions/SessionFileWriter.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/status/ApprovalPolicy.h"
#include "main/hooks/status/BurnRateTracker.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/status/TokenStore.h"
#include "main/hooks/terminals/ProcessDiscovery.h"
#include "main/hooks/terminals/ProcessTable.h"
#include "main/hooks/terminals/TeleportTargetResolver.h"
#include "main/hooks/transcript/TranscriptWatcher.h"
#include "main/settings/PTTHotkey.h"
#include "main/usage/CodexBarUsageReader.h"
#include "main/voice/context/STTContext.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/flow/PTTSessionRouter.h"
#include "main/voice/preferences/AppSettingsCache.h"
#include "platform/audio/AudioPlayerFactory.h"
#include "platform/ble/BleTransportFactory.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/DesktopServicesFactory.h"
#include "platform/desktop/WindowSystem.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::app {

/// Builds, owns and wires every component; lives on the main thread.
class AppController final {
public:
    struct Dependencies {
        std::shared_ptr<platform::SecretStore> secrets;
        std::shared_ptr<common::Clock> clock;
        quint16 hookPort = hooks::HookServer::defaultPort;
        QString statusDirectory = QString::fromLatin1(hooks::StatusFiles::directory);
        /// The process table from which the start-up cleanup tells running sessions from gone ones.
        hooks::ProcessTable::AsyncReader processTable = [] { return hooks::ProcessTable::readAsync(); };
        QString legacyStatusPath = QString::fromLatin1(hooks::StatusFiles::legacyStatusPath);
        std::shared_ptr<platform::Defaults> defaults;
        /// The agent's settings file that the start-up self-check reads.
        QString agentSettingsPath;
        /// murmeli's own executable, from which the installer scripts are found; the running one when empty.
        QString executablePath;
        /// The process's memory and thread count, for the health ticker.
        HealthTicker::ProcessStatsReader processStats = &platform::readProcessStats;
        /// murmeli's own settings file; "~/.murmeli/settings.json" when empty.
        QString appSettingsPath;
        /// One microphone capture per take; the sound server's default input when empty.
        voice::MicrophoneCapture::Factory audioCapture;
        /// The on-device recogniser; the platform's when empty.
        std::shared_ptr<platform::SpeechRecognizer> recognizer;
        /// Where takes are recorded; the system's temporary folder when empty.
        QString takeDirectory;
        /// The Bluetooth LE transport of the device link, made only when its Lab switch is on.
        std::function<std::unique_ptr<platform::BleTransport>()> bleTransport = &platform::makeBleTransport;
        /// The cloud account service's base address; the cloud service's one (voice::CloudEndpoints) when empty.
        QString cloudBaseURL;
        /// Opens an address in the user's browser (the checkout page); the desktop's handler when empty.
        std::function<void(const QUrl&)> openURL;
        /// The desktop's keys, windows, clipboard and focused element.
        std::function<platform::DesktopServices()> desktop = &platform::makeDesktopServices;
        /// The push-to-talk log's folder; "~/.murmeli/logs" when empty.
        QString pttLogDirectory;
        /// The speech synthesiser of the announcements.
        std::function<std::shared_ptr<device::TTSBackend>()> ttsBackend
            = [] { return std::make_shared<device::SayTTSBackend>(); };
        /// A player on the default audio output, for the spoken announcements and the cue sounds.
        std::function<std::unique_ptr<platform::AudioPlayer>()> audioPlayer = &platform::makeAudioPlayer;
    };

    /// User-defaults key of the Fn double tap's switch.
    static constexpr auto fnDoubleTapEnabledKey = "ptt.fnDoubleTapEnabled";
    /// User-defaults key that records that murmeli once asked for the right to send keys.
    static constexpr auto axEverPromptedKey = "permission.probe.ax.everPrompted";

    explicit AppController(Dependencies dependencies);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    /// The one log sink of the process; the delegate points it at the log output.
    common::LogSink onLog;
    /// Something about the sessions changed (a file in the status directory, a hook event).
    std::function<void()> onStatusChange;

    /// Starts the components that talk to the outside; called once, after the delegate has finished launching.
    void startBackend(const QString& binaryPath);

    /// Every hook event the server accepts, on the main thread.
    void handleHookEvent(const QString& eventName, const QJsonObject& payload);

    /// Empties the selected session's notification file ("notify.json" when none is selected).
    void clearNotify();

    /// The periodic and on-change sync: refreshes the registry, follows the selected session's transcript, feeds
    /// the burn-rate estimate and brings the panel's view model up to date. Returns the selected session's status,
    /// if it has one.
    std::optional<hooks::ClaudeStatus> syncSessions();

    /// The panel's state and actions.
    notch::PanelViewModel& vm() { return m_vm; }
    /// The user-defaults store every component reads its preferences from.
    platform::Defaults& defaults() { return *m_dependencies.defaults; }
    /// The clock every component waits on.
    common::Clock& clock() { return *m_dependencies.clock; }
    /// murmeli's own executable, from which the installers are found.
    QString executablePath() const;
    /// Claude Code's settings file, which the start-up self-check reads.
    QString agentSettingsPath() const;
    /// The secrets: the hooks' shared secret, the cloud session.
    const platform::KeychainStore& keychain() const { return m_keychain; }
    /// Polls the outside usage tool; started at start-up when its Lab switch is on.
    usage::CodexBarUsageReader& codexBarReader() { return m_codexBarReader; }
    const notch::PanelSessionSync& panelSync() const { return m_panelSync; }

    /// Runs Claude Code's installer; afterwards exactly one of onHooksInstalled and onHooksFailed is called.
    void installHooks();
    /// Runs Claude Code's installer for one caller: nullopt when it succeeded, else the failure message. The two
    /// callbacks below are left alone.
    QCoro::Task<std::optional<QString>> installHooksAndWait();
    std::function<void()> onHooksInstalled;
    std::function<void(const QString& message)> onHooksFailed;

    /// Brings the terminal tab of a session's agent to the front; logs what happened.
    QCoro::Task<hooks::TeleportResult> teleportToSession(QString sid);
    /// The desktop's windows: a terminal without a jump of its own is brought to the front through its window.
    void setWindowSystem(std::shared_ptr<platform::WindowSystem> windows);

    static constexpr qint64 visualLinkDelayMs = 100;
    /// Dictated text is being pasted into the program with this process (absent when none runs); 0.1 s later the
    /// panel draws its link to that program's window through onVisualLink.
    void pasteIntoProgramStarted(std::optional<qint64> pid);
    /// Draws the link from the notch to the window of the program with this process.
    std::function<void(std::optional<qint64> pid)> onVisualLink;

    /// The bridge that shows approvals away from the panel; the null bridge until a device bridge is set.
    void setApprovalBridge(std::shared_ptr<hooks::ApprovalBridge> bridge);

    hooks::HookServer& hookServer() { return *m_hookServer; }
    hooks::SessionRegistry& sessionRegistry() { return m_sessionRegistry; }
    hooks::ProcessDiscovery& processDiscovery() { return m_processDiscovery; }
    hooks::PendingRequestTable& pendingTable() { return *m_pendingTable; }

    // Application shell: the notifications every window posts and observes, and the health ticker.
    common::NotificationHub& notifications() { return m_notifications; }
    HealthTicker& healthTicker() { return m_healthTicker; }

    // Voice input.
    voice::SpeechEngine& speech() { return m_speech; }
    /// The settings file, read once on first use; handed to whatever reads it.
    voice::AppSettingsCache& appSettings() { return m_appSettings; }
    /// The recognition context for the next take: the selected session's tool, files, cost and terms, the user's
    /// hotwords and the effective locale.
    voice::STTContext currentSTTContext();

    /// The device link; null until its Lab switch is on while the back end runs.
    device::BLEBridge* ble() const { return m_ble.get(); }
    /// The Lab switch: brings the device link up, making it with its approval bridge and pushers on first use once
    /// the back end runs (before that, the start-up makes it from the stored switch), or takes it down.
    void setDeviceLinkRunning(bool on);
    /// Reads the device's push-to-talk lines; its events reach only the log.
    const voice::PTTSessionRouter& pttRouter() const { return m_pttRouter; }
    /// Opens the long-lived streaming session when signed in and the cloud streams; reuses an existing one.
    void openQwen3SessionIfEligible();
    /// Closes the streaming session; the engine keeps it for the next open.
    void closeQwen3Session();
    /// Lets go of the streaming session, so the next open builds a fresh one (through the current proxy).
    void discardQwen3Session();
    /// Stores the WebSocket proxy (an empty host switches it off) and reopens the streaming session through it;
    /// returns why a bad one was refused, or nullopt.
    std::optional<QString> setWebSocketProxy(const QString& host, int port);
    /// The streaming session the controller keeps open, or null.
    voice::Qwen3ASRStreamingSession* qwen3Session() const { return m_streamingKeeper.session(); }

    // Push-to-talk: from a key to the pasted text.

    PushToTalkRoad& pushToTalk() { return *m_pushToTalk; }
    voice::DesktopVoice& desktopVoice() { return *m_desktopVoice; }
    /// The user's own push-to-talk key, toggling a take; the unbound hotkey gives the earlier one back.
    void rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey);
    /// The custom hotkey the settings store.
    settings::PTTHotkey currentCustomPTTHotkey() const;
    /// Whether a double tap of Fn starts and ends a take; on unless switched off. No X11 keyboard reports Fn.
    bool fnDoubleTapEnabled() const;
    void setFnDoubleTapEnabled(bool enabled);
    /// Notes that the user was asked, checks whether keys can be sent to other programs here, and tells the panel
    /// and the log when they cannot.
    void requestAccessibility();
    // Speech out: the announcement engine that the Audio and Lab pages reach, and the cue output shared with the
    // panel (silent until the panel's owner hands over the one that plays files).
    device::TTSEngine& tts() { return m_announcements.tts(); }
    device::AudioCueOutput& audioCue() { return m_announcements.audioCue(); }
    void setAudioCue(std::shared_ptr<device::AudioCueOutput> output) { m_announcements.setAudioCue(std::move(output)); }
    /// The cue output that plays the shipped sound files beside the executable, speaking through tts().
    std::shared_ptr<device::AudioCueOutput> makeAssetCueOutput();

    // Cloud account: the mirror that the panel and the account pages read, and the session's operations. The work
    // is CloudAccount's; these only pass through.

    /// The account or its mirror changed.
    std::function<void()> onCloudStateChange;
    const CloudAccount::Mirror& cloudMirror() const { return m_cloudAccount.mirror(); }
    const QString& cloudEmail() const { return m_cloudAccount.mirror().email; }
    /// Whether a cloud session token is kept in the secret store.
    bool hasStoredCloudSession() const;
    const QString& cloudTier() const { return m_cloudAccount.mirror().tier; }
    qint64 cloudMinutesLeft() const { return m_cloudAccount.mirror().minutesLeft; }
    CloudAccount& cloudAccount() { return m_cloudAccount; }
    /// After a checked sign-in code (the sheet) and a valid stored session (launch).
    void cloudSignIn(const QString& email, const QString& token, qint64 minutesLeft)
    {
        m_cloudAccount.signIn(email, token, minutesLeft);
    }
    QCoro::Task<> cloudSignOut() { return m_cloudAccount.signOut(); }
    QCoro::Task<> refreshCloudMinutes() { return m_cloudAccount.refreshMinutes(); }
    /// The launch-time check of the stored session.
    QCoro::Task<> validateSessionOnLaunch() { return m_cloudAccount.validateOnLaunch(); }
    QCoro::Task<cloud::BillingFlowResult> startTopUpFlow() { return m_cloudAccount.startTopUp(); }
    cloud::BillingFlow& billingFlow() { return m_cloudAccount.billingFlow(); }
    void setBillingFlow(std::unique_ptr<cloud::BillingFlow> flow) { m_cloudAccount.setBillingFlow(std::move(flow)); }
    /// Pushes the account mirror into the panel's view model.
    void syncCloud() { m_cloudAccount.sync(); }

private:
    void log(const QString& message, common::LogColor color);
    void statusChanged();
    /// Speaks what a finished turn, an API error or a failed tool has to say.
    void announceHookEvent(const QString& eventName, const QJsonObject& payload);
    HookServerHealth hookServerHealth() const;

    // The panel's side: what it shows and what its actions do.
    void syncViewModel(const std::optional<hooks::ClaudeStatus>& selectedStatus);
    std::optional<hooks::ClaudeStatus> readSelectedStatus();
    /// The transcript watcher's data when it follows the session of this status, else nothing.
    hooks::TranscriptData transcriptOf(const std::optional<hooks::ClaudeStatus>& status) const;
    void wireViewModelActions();
    void selectSessionFromPanel(const QString& sid);
    void stepSessionFromPanel(bool forward);
    void approveFromPanel(const QString& sid, notch::NotchApprovalAction action);
    void startUsageReader();
    void wirePushToTalk();
    void wireVoice();
    /// The device link, its approval bridge and its pushers, when the Lab switch is on.
    void startDeviceLink();
    void buildDeviceLink();
    /// The selected session's status lines for the device.
    void sendStatusToDevice(const std::optional<hooks::ClaudeStatus>& status);
    void wireCloud();

    Dependencies m_dependencies;
    hooks::StatusDirectory m_statusDirectory;
    hooks::SessionRegistry m_sessionRegistry;
    hooks::SessionFileWriter m_sessionFiles;
    hooks::HookEventDispatcher m_hookDispatcher;
    hooks::FileWatcher m_fileWatcher;
    hooks::TranscriptWatcher m_transcriptWatcher;
    hooks::TokenStore m_tokenStore;
    hooks::BurnRateTracker m_burnRate;
    hooks::ApprovalPolicy m_approvalPolicy;
    hooks::ProcessDiscovery m_processDiscovery;
    hooks::TeleportTargetResolver m_teleportResolver;
    platform::KeychainStore m_keychain;
    std::unique_ptr<hooks::HookServer> m_hookServer;
    std::unique_ptr<hooks::PendingRequestTable> m_pendingTable;
    hooks::ApprovalRoad m_approvalRoad;
    hooks::TerminalJump m_terminalJump;
    settings::HookInstaller m_hookInstaller;
    notch::PanelViewModel m_vm;
    notch::PanelSessionSync m_panelSync;
    // After the view model: a poll that ends during teardown must find it still there.
    usage::CodexBarUsageReader m_codexBarReader;
    bool m_backendStarted = false;
    bool m_flushScheduled = false;
    std::optional<common::Clock::TimerId> m_visualLinkTimer;
    // Carries the queued flush of a burst of hook events; it is dropped when the controller is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();

    // Application shell.
    common::NotificationHub m_notifications;
    HealthTicker m_healthTicker;

    // Voice input.
    voice::SpeechEngine m_speech;
    voice::AppSettingsCache m_appSettings;
    voice::StreamingSessionKeeper m_streamingKeeper;
    // The road grabs keys on the desktop: it goes first.
    std::unique_ptr<voice::DesktopVoice> m_desktopVoice;
    std::unique_ptr<PushToTalkRoad> m_pushToTalk;

    // The device link; the pushers go before the link they observe.
    std::unique_ptr<device::BLEBridge> m_ble;
    std::shared_ptr<device::BLEApprovalBridge> m_deviceApprovals;
    voice::PTTSessionRouter m_pttRouter;
    std::unique_ptr<device::OverviewBridge> m_overviewBridge;
    std::unique_ptr<device::SListBridge> m_slistBridge;
    std::unique_ptr<device::SessionDetailBridge> m_sessionDetailBridge;
    device::Announcements m_announcements;
    // Cloud account; after the speech engine and the view model it writes to.
    CloudAccount m_cloudAccount;
};

} // namespace murmeli::app
