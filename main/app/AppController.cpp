#include "main/app/AppController.h"

#include <QCoreApplication>
#include <QDir>

#include "main/app/DeviceRows.h"
#include "main/hooks/terminals/TerminalWindowLocator.h"
#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/sessions/StaleFileCleanup.h"
#include "main/voice/service/CloudEndpoints.h"
#include "main/voice/context/STTContextBuilder.h"
#include "main/voice/preferences/AppSettingsLoader.h"
#include "main/voice/preferences/LocaleNormalizer.h"

namespace murmeli::app {

using common::LogColor;

AppController::AppController(Dependencies dependencies)
    : m_dependencies(std::move(dependencies)), m_statusDirectory(m_dependencies.statusDirectory),
      m_sessionRegistry(m_statusDirectory, *m_dependencies.clock, m_dependencies.legacyStatusPath),
      m_sessionFiles(m_statusDirectory), m_hookDispatcher(m_sessionRegistry, m_sessionFiles, *m_dependencies.clock),
      m_tokenStore(*m_dependencies.defaults, m_dependencies.clock), m_keychain(m_dependencies.secrets),
      m_hookServer(std::make_unique<hooks::HookServer>(m_keychain, hooks::HookServerOptions {}, m_dependencies.clock)),
      m_pendingTable(std::make_unique<hooks::PendingRequestTable>(*m_dependencies.clock)),
      m_approvalRoad(*m_pendingTable, *m_dependencies.clock),
      m_terminalJump(m_processDiscovery, m_teleportResolver, m_statusDirectory, *m_dependencies.clock),
      m_hookInstaller(m_dependencies.executablePath), m_vm(*m_dependencies.clock),
      m_panelSync(m_vm, *m_dependencies.clock, m_sessionRegistry, m_statusDirectory, *m_pendingTable),
      m_codexBarReader(usage::CodexBarUsageReader::defaultPollMinutes, { m_dependencies.clock, {} }),
      m_healthTicker(
          *m_dependencies.clock, [this] { return hookServerHealth(); }, m_dependencies.processStats),
      m_speech(*m_dependencies.defaults, *m_dependencies.clock,
          voice::SpeechEngine::Devices {
              m_dependencies.audioCapture,
              m_dependencies.recognizer,
              // The keeper is built after the engine; the engine asks only once a take starts.
              [this] { return m_streamingKeeper.session(); },
              m_dependencies.takeDirectory,
          }),
      m_appSettings(m_dependencies.appSettingsPath.isEmpty() ? voice::AppSettingsLoader::configPath()
                                                             : m_dependencies.appSettingsPath),
      m_streamingKeeper(voice::StreamingSessionKeeper::Providers {
                            [this] { return m_speech.cloudToken(); },
                            [this] { return m_speech.effectiveBackendId(); },
                            [this] { return m_speech.cloudWorkerURL(); },
                            [this] { return voice::LocaleNormalizer::effectiveLocale(*m_dependencies.defaults); },
                            [this] { return m_speech.wsSession(); },
                        },
          *m_dependencies.clock),
      m_announcements(*m_dependencies.defaults, *m_dependencies.clock),
      m_cloudAccount(m_keychain, *m_dependencies.clock,
          m_dependencies.cloudBaseURL.isEmpty() ? voice::CloudEndpoints::defaultBaseURL() : m_dependencies.cloudBaseURL,
          m_dependencies.openURL,
          CloudAccount::Links {
              m_speech, m_vm, [this] { openQwen3SessionIfEligible(); }, [this] { closeQwen3Session(); } })
{
    // Wired now rather than at start-up: onboarding may install the hooks before the back end starts.
    const common::LogSink toLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_approvalRoad.onLog = toLog;
    m_approvalRoad.onParseFailure = [this] { m_hookServer->notifyParseFailure(); };
    m_approvalRoad.onActivated = [this](hooks::ApprovalRequest request) {
        // The panel shows the request now rather than at the next poll.
        statusChanged();
        return m_announcements.speakApproval(std::move(request));
    };
    m_terminalJump.onLog = toLog;
    m_hookInstaller.onLog = toLog;
    m_hookInstaller.onInstalled = [this] {
        if (onHooksInstalled) {
            onHooksInstalled();
        }
    };
    m_hookInstaller.onFailed = [this](const QString& message) {
        if (onHooksFailed) {
            onHooksFailed(message);
        }
    };
    m_healthTicker.onLog = toLog;
    wireVoice();
    wirePushToTalk();
    wireCloud();
}

AppController::~AppController()
{
    if (const auto timer = std::exchange(m_visualLinkTimer, std::nullopt)) {
        m_dependencies.clock->cancel(*timer);
    }
    m_healthTicker.stop();
    // Tearing down answers held requests, which would log into an owner that may already be gone.
    onLog = nullptr;
    // Requests failed open on the way out must not be sent to a link that goes before the table, and the device
    // pushers go before the view model whose changes they follow.
    m_approvalRoad.setBridge(nullptr);
    m_lifetime.reset();
    // The server goes first so no reply is written for requests the table fails open on its way out.
    m_hookServer.reset();
    m_pendingTable.reset();
}

void AppController::setApprovalBridge(std::shared_ptr<hooks::ApprovalBridge> bridge)
{
    m_approvalRoad.setBridge(std::move(bridge));
}

void AppController::log(const QString& message, LogColor color)
{
    if (onLog) {
        onLog(message, color);
    }
}

void AppController::startBackend(const QString& binaryPath)
{
    if (m_backendStarted) {
        return;
    }
    m_backendStarted = true;
    Q_UNUSED(binaryPath)

    QString problem;
    QString repair;
    const bool statusDirectoryUsable = m_statusDirectory.prepare(&problem, &repair);
    if (!repair.isEmpty()) {
        log(QStringLiteral("[diag] startup: status directory ") + repair, LogColor::Orange);
    }
    if (!statusDirectoryUsable) {
        log(QStringLiteral("[diag] startup: status directory refused, session files are neither read nor written: ")
                + problem,
            LogColor::Red);
    }
    // Sessions of earlier runs whose agents are gone would otherwise be listed again. It runs while the rest
    // starts; the watcher reports its deletions.
    hooks::StaleFileCleanup::run(m_statusDirectory, m_dependencies.processTable);
    // The settings of this run start empty; the file itself is kept aside as ".corrupt" for the user.
    if (const QString defaultsProblem = m_dependencies.defaults->loadError(); !defaultsProblem.isEmpty()) {
        log(QStringLiteral("[diag] startup: defaults unusable: ") + defaultsProblem, LogColor::Orange);
    }
    if (const auto ignored = voice::CloudEndpoints::ignoredOverride()) {
        log(QStringLiteral("[diag] startup: ") + *ignored, LogColor::Orange);
    }
    m_sessionRegistry.onLog = [this](const QString& line) { log(line, LogColor::Orange); };
    m_hookDispatcher.onLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_sessionFiles.onLog = [this](const QString& message, LogColor color) { log(message, color); };

    m_hookServer->onLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_hookServer->onEvent
        = [this](const QString& eventName, const QJsonObject& payload) { handleHookEvent(eventName, payload); };
    m_hookServer->asyncEventResponse
        = [this](QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held) {
              return m_approvalRoad.reply(std::move(eventName), std::move(payload), std::move(held));
          };
    m_hookServer->heldEvents.clear();
    for (const hooks::HookEventDescriptor& row : hooks::HookEventManifest::all()) {
        if (row.requiresAsyncResponse) {
            m_hookServer->heldEvents.insert(hooks::toString(row.name));
        }
    }
    startDeviceLink();
    m_approvalRoad.installTableHandlers();
    m_hookServer->start(m_dependencies.hookPort, std::nullopt, false);
    if (statusDirectoryUsable) {
        m_fileWatcher.start(m_statusDirectory.path(), [this] { statusChanged(); });
    }
    wireViewModelActions();
    m_vm.setAccessibilityNeedGrant(!m_desktopVoice->health().isTrusted());
    m_pushToTalk->start();
    rebindCustomPTTHotkey(currentCustomPTTHotkey());
    syncSessions();

    const QString settingsPath = agentSettingsPath();
    hooks::HookSelfCheck::emit(
        hooks::HookSelfCheck::run(settingsPath), [this](const QString& line) { log(line, LogColor::Orange); });
    m_healthTicker.start();
    startUsageReader();
    m_cloudAccount.loadStoredSession();
    m_speech.sockets().loadProxySettings();
    m_announcements.start(m_dependencies.ttsBackend(), m_ble.get(), m_dependencies.audioPlayer(),
        [this](const QString& message, LogColor color) { log(message, color); });
    openQwen3SessionIfEligible();
}

QString AppController::executablePath() const
{
    return m_dependencies.executablePath.isEmpty() ? QCoreApplication::applicationFilePath()
                                                   : m_dependencies.executablePath;
}

QString AppController::agentSettingsPath() const
{
    return m_dependencies.agentSettingsPath.isEmpty() ? hooks::StatusFiles::agentSettingsPath()
                                                      : m_dependencies.agentSettingsPath;
}

std::shared_ptr<device::AudioCueOutput> AppController::makeAssetCueOutput()
{
    return m_announcements.makeAssetCueOutput(executablePath(), m_dependencies.audioPlayer(),
        [this](const QString& message, LogColor color) { log(message, color); });
}

void AppController::startUsageReader()
{
    m_codexBarReader.onLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_codexBarReader.onSnapshots
        = [this](const std::vector<usage::CodexBarProviderUsage>& providers) { m_vm.setUsageSnapshots(providers); };
    m_codexBarReader.onSnapshot
        = [this](const usage::CodexBarUsageSnapshot& snapshot) { m_vm.setUsageSnapshot(snapshot); };
    const platform::Defaults& defaults = *m_dependencies.defaults;
    m_codexBarReader.setCommands(usage::CodexBarUsageReader::commandsFromUDOrDefault(defaults));
    if (defaults.boolValue(QLatin1String(usage::CodexBarUsageReader::enabledUDKey)).value_or(false)) {
        m_codexBarReader.setIntervalMinutes(usage::CodexBarUsageReader::pollMinutesFromUDOrDefault(defaults));
        m_codexBarReader.start();
    }
}

void AppController::announceHookEvent(const QString& eventName, const QJsonObject& payload)
{
    std::optional<hooks::ClaudeStatus> status;
    if (eventName == hooks::toString(hooks::HookEventType::Stop)) {
        const auto key = hooks::SessionKey::fromPayload(payload);
        const auto directory = m_statusDirectory.open();
        if (key && directory) {
            status = hooks::ClaudeStatus::read(key->text(), directory->path(), *m_dependencies.clock);
        }
    }
    m_announcements.speakForHookEvent(eventName, payload, m_transcriptWatcher.data(), status);
}

std::optional<hooks::ClaudeStatus> AppController::readSelectedStatus()
{
    const auto selected = m_sessionRegistry.selected();
    const auto directory = m_statusDirectory.open();
    return directory ? hooks::ClaudeStatus::read(
               selected ? std::optional(selected->sid8.text()) : std::nullopt, directory->path(), *m_dependencies.clock)
                     : std::nullopt;
}

hooks::TranscriptData AppController::transcriptOf(const std::optional<hooks::ClaudeStatus>& status) const
{
    // The watcher keeps the last transcript it was given; it speaks for a session only when it follows that
    // session's file.
    const bool follows
        = status && !status->transcriptPath.isEmpty() && m_transcriptWatcher.currentPath() == status->transcriptPath;
    return follows ? m_transcriptWatcher.data() : hooks::TranscriptData {};
}

std::optional<hooks::ClaudeStatus> AppController::syncSessions()
{
    m_sessionRegistry.refresh();
    auto status = readSelectedStatus();
    if (status) {
        if (!status->transcriptPath.isEmpty()) {
            m_transcriptWatcher.watch(status->transcriptPath);
        }
        m_burnRate.update(status->contextPercent, m_dependencies.clock->now());
    }
    syncViewModel(status);
    sendStatusToDevice(status);
    return status;
}

void AppController::syncViewModel(const std::optional<hooks::ClaudeStatus>& selectedStatus)
{
    m_panelSync.sync(selectedStatus, transcriptOf(selectedStatus));
}

void AppController::startDeviceLink()
{
    if (!m_dependencies.defaults->boolValue(QLatin1String(device::BLEBridge::enabledUDKey)).value_or(false)) {
        return;
    }
    buildDeviceLink();
    m_ble->start();
}

void AppController::setDeviceLinkRunning(bool on)
{
    if (!on) {
        if (m_ble) {
            m_ble->stop();
        }
        return;
    }
    if (!m_ble) {
        if (!m_backendStarted) {
            return;
        }
        buildDeviceLink();
    }
    m_ble->start();
}

void AppController::buildDeviceLink()
{
    common::Clock& clock = *m_dependencies.clock;
    m_ble = std::make_unique<device::BLEBridge>(m_dependencies.bleTransport(), clock);
    m_ble->onLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_deviceApprovals = device::BLEApprovalBridge::overLink(*m_ble, *m_pendingTable);
    setApprovalBridge(m_deviceApprovals);
    m_pttRouter.onLog = [this](const QString& line) { log(line, LogColor::Grey); };
    m_ble->onControlFrame = [this](const QString& line) {
        m_pttRouter.handleControlFrame(line);
        // Answered from the event loop, not inside the link's receive: a decision resumes the waiting reply.
        QMetaObject::invokeMethod(
            m_lifetime.get(), [this, line] { m_deviceApprovals->handleControlFrame(line); }, Qt::QueuedConnection);
    };
    // The engine takes the device's audio only while one of its takes streams from the device.
    m_ble->onAudioChunk = [this](const QByteArray& chunk) { m_speech.feedStreamingBLEChunk(chunk); };

    m_overviewBridge = std::make_unique<device::OverviewBridge>(*m_ble, clock);
    m_overviewBridge->accountProvider = [this] { return DeviceRows::account(m_vm); };
    m_slistBridge = std::make_unique<device::SListBridge>(*m_ble, clock);
    m_slistBridge->sessionsProvider = [this] { return DeviceRows::sessionList(m_vm); };
    m_sessionDetailBridge = std::make_unique<device::SessionDetailBridge>(*m_ble, clock);
    m_sessionDetailBridge->rowsProvider
        = [this] { return DeviceRows::sessionDetails(m_vm, m_dependencies.clock->now()); };
    m_overviewBridge->start();
    m_slistBridge->start();
    m_sessionDetailBridge->start();
    // Both pushers send only what changed, so they may follow every change of the rows.
    const auto pushSessions = [this] {
        m_slistBridge->pushNow();
        m_sessionDetailBridge->pushNow();
    };
    QObject::connect(&m_vm, &notch::PanelViewModel::sessionsChanged, m_lifetime.get(), pushSessions);
    QObject::connect(&m_vm, &notch::PanelViewModel::contextPercentChanged, m_lifetime.get(), pushSessions);
    QObject::connect(&m_vm, &notch::PanelViewModel::modelNameChanged, m_lifetime.get(), pushSessions);
    QObject::connect(
        &m_vm, &notch::PanelViewModel::cloudEmailChanged, m_lifetime.get(), [this] { m_overviewBridge->pushAccount(); });
    QObject::connect(
        &m_vm, &notch::PanelViewModel::cloudTierChanged, m_lifetime.get(), [this] { m_overviewBridge->pushAccount(); });
}

void AppController::sendStatusToDevice(const std::optional<hooks::ClaudeStatus>& status)
{
    if (!m_ble || !status) {
        return;
    }
    m_ble->lines().sendStatusFull(*status, transcriptOf(status), m_vm.runningAgents(), m_vm.waitingAgents(),
        m_tokenStore.cumulative(), m_tokenStore.today());
}

void AppController::wireVoice()
{
    const common::LogSink toLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_speech.onLog = toLog;
    m_speech.sockets().onLog = toLog;
    m_streamingKeeper.onLog = toLog;
    m_streamingKeeper.onStateChanged = [this](const QString& state) { Q_EMIT m_notifications.wsStateChanged(state); };
    m_speech.enhancer().promptTemplate = [this] { return m_appSettings.snapshot().enhance.promptTemplate; };
}

void AppController::wireCloud()
{
    m_cloudAccount.onLog = [this](const QString& message, LogColor color) { log(message, color); };
    // What a take learns of the account comes back to the mirror the panel and the account pages read.
    m_speech.onCloudMinutesUpdate = [this](int minutesLeft) { m_cloudAccount.takeMinutesLeft(minutesLeft); };
    m_speech.onCloudAuthError = [this](const QString& reason) { m_cloudAccount.sessionRefused(reason); };
    m_cloudAccount.onChanged = [this] {
        if (onCloudStateChange) {
            onCloudStateChange();
        }
        statusChanged();
    };
}

void AppController::wirePushToTalk()
{
    m_desktopVoice = std::make_unique<voice::DesktopVoice>(m_dependencies.desktop(), *m_dependencies.clock);
    m_pushToTalk = std::make_unique<PushToTalkRoad>(PushToTalkRoad::Links {
        m_speech,
        m_vm,
        *m_desktopVoice->desktop().hotkeys,
        m_desktopVoice->injector(),
        [this] { return m_desktopVoice->detectMode(); },
        *m_dependencies.defaults,
        *m_dependencies.clock,
        [this] { return currentSTTContext(); },
        [this] { return m_ble && m_ble->isConnected(); },
        m_dependencies.pttLogDirectory,
    });
    const common::LogSink toLog = [this](const QString& message, LogColor color) { log(message, color); };
    m_pushToTalk->onLog = toLog;
    m_pushToTalk->fnDoubleTap().enabled = [this] { return fnDoubleTapEnabled(); };
    platform::GlobalHotkeys& hotkeys = *m_desktopVoice->desktop().hotkeys;
    hotkeys.onPressed = [this](platform::HotkeyId id) { m_pushToTalk->handleHotkey(id, true); };
    hotkeys.onReleased = [this](platform::HotkeyId id) { m_pushToTalk->handleHotkey(id, false); };

    voice::InputInjector& input = m_desktopVoice->input();
    input.onLog = toLog;
    input.onAXRevoked = [this](const QString& operation) {
        log(m_desktopVoice->input().blockedLine(operation), LogColor::Red);
        Q_EMIT m_notifications.axRevoked(operation);
    };
    voice::SystemVoiceTextInjector& injector = m_desktopVoice->injector();
    injector.onLog = toLog;
    // The notice is the panel's clipboard hint, which goes away by itself.
    injector.onNotify = [this](const QString&, const QString& body) { m_vm.setModeBHintText(body); };
    injector.onAXRevoked = [this](const QString& source) { Q_EMIT m_notifications.axRevoked(source); };
    injector.onModeAStarted = [this](const std::optional<platform::WindowInfo>& window) {
        pasteIntoProgramStarted(window ? window->pid : std::nullopt);
    };
    // The jump finds the agent's terminal window through the same desktop.
    setWindowSystem(m_desktopVoice->desktop().windows);
}

void AppController::rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey)
{
    m_pushToTalk->rebindCustomHotkey(PushToTalkRoad::customHotkeyChord(hotkey));
}

settings::PTTHotkey AppController::currentCustomPTTHotkey() const
{
    return settings::PTTHotkey::loadFromDefaults(*m_dependencies.defaults);
}

bool AppController::fnDoubleTapEnabled() const
{
    return m_dependencies.defaults->boolValue(QLatin1String(fnDoubleTapEnabledKey)).value_or(true);
}

void AppController::setFnDoubleTapEnabled(bool enabled)
{
    m_dependencies.defaults->setValue(QLatin1String(fnDoubleTapEnabledKey), enabled);
}

void AppController::requestAccessibility()
{
    m_dependencies.defaults->setValue(QLatin1String(axEverPromptedKey), true);
    // Nothing to grant on this desktop: keys reach the other programs, or they cannot, for a reason the user can
    // only change outside murmeli (a Wayland session, an X server without XTEST).
    const bool trusted = m_desktopVoice->health().isTrusted();
    m_vm.setAccessibilityNeedGrant(!trusted);
    if (!trusted) {
        log(QStringLiteral("Pasting into other programs is not possible here (")
                + m_desktopVoice->health().selfDescribe() + QStringLiteral("); dictated text stays on the clipboard."),
            LogColor::Orange);
    }
}

void AppController::openQwen3SessionIfEligible()
{
    m_streamingKeeper.openIfEligible();
}

void AppController::closeQwen3Session()
{
    m_streamingKeeper.close();
}

void AppController::discardQwen3Session()
{
    m_streamingKeeper.discard();
}

std::optional<QString> AppController::setWebSocketProxy(const QString& host, int port)
{
    if (host.isEmpty()) {
        m_speech.sockets().clearProxy();
    } else if (auto refused = m_speech.sockets().setProxy(host, port)) {
        return refused;
    }
    m_streamingKeeper.reopenAfterProxyChange();
    return std::nullopt;
}

bool AppController::hasStoredCloudSession() const
{
    return !m_keychain
                .load(QString::fromLatin1(platform::KeychainStore::cloudService),
                    QString::fromLatin1(CloudAccount::tokenAccount))
                .isEmpty();
}

voice::STTContext AppController::currentSTTContext()
{
    voice::STTContextBuilder::SessionView session;
    session.status = readSelectedStatus();
    session.transcript = transcriptOf(session.status);
    return voice::STTContextBuilder::build(session, m_speech.customHotwords(), voice::SpeechEngine::customHotwordWeight,
        voice::LocaleNormalizer::effectiveLocale(*m_dependencies.defaults));
}

void AppController::wireViewModelActions()
{
    m_vm.onSessionSelect = [this](const QString& sid) { selectSessionFromPanel(sid); };
    m_vm.onSessionPrev = [this] { stepSessionFromPanel(false); };
    m_vm.onSessionNext = [this] { stepSessionFromPanel(true); };
    m_vm.onApprove = [this](const QString& sid, notch::NotchApprovalAction action) { approveFromPanel(sid, action); };
    m_vm.onPTT = [this] { m_pushToTalk->toggle(PushToTalkRoad::Trigger::Panel); };
    m_vm.onEscRequest = [this] { m_pushToTalk->cancelFromEsc(); };
    m_vm.onGrantAccessibility = [this] { requestAccessibility(); };
    m_vm.onAnswer = [](const QString& sid, const QString& answer) {
        Q_UNUSED(sid)
        Q_UNUSED(answer)
    };
}

void AppController::selectSessionFromPanel(const QString& sid)
{
    const std::optional<hooks::SessionKey> key = hooks::SessionKey::fromFileKey(sid);
    if (!key || !m_sessionRegistry.contains(*key)) {
        return;
    }
    m_sessionRegistry.select(*key);
    // The activity on show was the previous session's.
    m_vm.setCurrentActivity(QString());
    statusChanged();
    m_terminalJump.teleportToSession(sid);
}

void AppController::stepSessionFromPanel(bool forward)
{
    if (forward) {
        m_sessionRegistry.selectNext();
    } else {
        m_sessionRegistry.selectPrev();
    }
    statusChanged();
}

void AppController::approveFromPanel(const QString& sid, notch::NotchApprovalAction action)
{
    log(QStringLiteral("[approval-diag] vm.onApprove fired action=") + toString(action), LogColor::Blue);
    // Answered from the event loop rather than inside the click: resolving resumes the waiting reply.
    QMetaObject::invokeMethod(
        m_lifetime.get(),
        [this, sid, action] {
            const std::optional<hooks::ApprovalRequest> active = m_pendingTable->activeRequest();
            if (!active) {
                log(QStringLiteral("[diag] approval click → pendingTable empty (hook 没注册 / schema 漂移?)"),
                    LogColor::Orange);
                return;
            }
            // Every waiting row shows buttons; a click on another session's card must not answer a command the
            // user has not seen.
            if (active->sessionId != sid) {
                log(QStringLiteral("[approval-diag] click on %1's card ignored: the request on show is %2's (%3)")
                        .arg(sid, active->sessionId, active->toolUseId),
                    LogColor::Orange);
                return;
            }
            m_pendingTable->resolve(active->toolUseId, notch::decisionFor(action));
            statusChanged();
        },
        Qt::QueuedConnection);
}

void AppController::setWindowSystem(std::shared_ptr<platform::WindowSystem> windows)
{
    m_terminalJump.setWindowLocator(windows ? std::make_shared<hooks::TerminalWindowLocator>(std::move(windows)) : nullptr);
}

void AppController::pasteIntoProgramStarted(std::optional<qint64> pid)
{
    // The program is brought to the front for the paste first; the link is drawn once its window is there.
    if (const auto timer = std::exchange(m_visualLinkTimer, std::nullopt)) {
        m_dependencies.clock->cancel(*timer);
    }
    m_visualLinkTimer = m_dependencies.clock->schedule(visualLinkDelayMs, [this, pid] {
        m_visualLinkTimer.reset();
        if (onVisualLink) {
            onVisualLink(pid);
        }
    });
}

QCoro::Task<hooks::TeleportResult> AppController::teleportToSession(QString sid)
{
    return m_terminalJump.teleportToSession(std::move(sid));
}

void AppController::statusChanged()
{
    if (onStatusChange) {
        onStatusChange();
    }
}

void AppController::clearNotify()
{
    const auto selected = m_sessionRegistry.selected();
    m_sessionFiles.clearNotify(selected ? std::optional(selected->sid8) : std::nullopt);
}

void AppController::handleHookEvent(const QString& eventName, const QJsonObject& payload)
{
    m_approvalRoad.settleOvertaken(eventName, payload);
    if (!m_hookDispatcher.dispatch(eventName, payload)) {
        return;
    }
    announceHookEvent(eventName, payload);
    // Events arrive in bursts; their files are written once the burst has been taken in.
    if (!m_flushScheduled) {
        m_flushScheduled = true;
        QMetaObject::invokeMethod(
            m_lifetime.get(),
            [this] {
                m_flushScheduled = false;
                m_hookDispatcher.flush();
                statusChanged();
            },
            Qt::QueuedConnection);
    }
}

HookServerHealth AppController::hookServerHealth() const
{
    const hooks::HookServer& server = *m_hookServer;
    return { server.listenerStateDescription(), server.activeConnectionCount(), server.totalEventCount(),
        server.lastEventAgeSec(), server.parseFailureCount(), server.bearerRejectCount() };
}

void AppController::installHooks()
{
    m_hookInstaller.install();
}

QCoro::Task<std::optional<QString>> AppController::installHooksAndWait()
{
    return m_hookInstaller.installAndWait();
}

} // namespace murmeli::app
