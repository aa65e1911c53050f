#include "main/app/AppController.h"

#include <QCoreApplication>
#include <QDir>

#include "main/hooks/events/HookEventManifest.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/install/HookSelfCheck.h"
#include "main/hooks/sessions/StaleFileCleanup.h"
#include "main/hooks/terminals/TerminalWindowLocator.h"
#include "main/voice/preferences/AppSettingsLoader.h"
#include "main/voice/service/CloudEndpoints.h"

namespace murmeli::app {

using common::LogColor;

AppController::AppController(Dependencies dependencies)
    : m_dependencies(std::move(dependencies)), m_statusDirectory(m_dependencies.statusDirectory),
      m_keychain(m_dependencies.secrets),
      m_hookSecrets(m_dependencies.hookSecrets ? m_dependencies.hookSecrets : m_dependencies.secrets),
      m_hookServer(
          std::make_unique<hooks::HookServer>(m_hookSecrets, hooks::HookServerOptions {}, m_dependencies.clock)),
      m_pendingTable(std::make_unique<hooks::PendingRequestTable>(*m_dependencies.clock)),
      m_approvalRoad(*m_pendingTable, *m_dependencies.clock),
      m_terminalJump(m_processDiscovery, m_teleportResolver, m_statusDirectory, *m_dependencies.clock),
      m_hookInstaller(m_dependencies.executablePath), m_vm(*m_dependencies.clock), m_sessions(SessionRoad::Links {
                                                                                       m_statusDirectory,
                                                                                       m_vm,
                                                                                       *m_pendingTable,
                                                                                       m_approvalRoad,
                                                                                       m_terminalJump,
                                                                                       m_announcements,
                                                                                       m_speech,
                                                                                       *m_dependencies.defaults,
                                                                                       *m_dependencies.clock,
                                                                                       m_dependencies.legacyStatusPath,
                                                                                   }),
      m_codexBarReader(usage::CodexBarUsageReader::defaultPollMinutes, { m_dependencies.clock, {} }),
      m_healthTicker(
          *m_dependencies.clock, [this] { return hookServerHealth(); }, m_dependencies.processStats),
      m_quit(*m_pendingTable, *m_hookServer, *m_dependencies.clock),
      m_speech(*m_dependencies.defaults, *m_dependencies.clock,
          voice::SpeechEngine::Devices {
              m_dependencies.audioCapture,
              m_dependencies.recognizer,
              m_dependencies.takeDirectory,
          }),
      m_appSettings(m_dependencies.appSettingsPath.isEmpty() ? voice::AppSettingsLoader::configPath()
                                                             : m_dependencies.appSettingsPath),
      m_dictation(DesktopDictation::Links {
          m_speech,
          m_vm,
          m_notifications,
          *m_dependencies.defaults,
          *m_dependencies.clock,
          m_dependencies.desktop,
          [this] { return m_sessions.currentSTTContext(); },
          app::PushToTalkRoad::DeviceMicrophone {
              [this] { return m_deviceLink.isConnected(); },
              [this] { m_deviceLink.ble()->startAudioCapture(); },
              [this] { return m_deviceLink.ble() ? m_deviceLink.ble()->stopAudioCapture() : QByteArray(); },
          },
          m_dependencies.pttLogDirectory,
      }),
      m_deviceLink(DeviceLinkRoad::Links {
          m_vm,
          *m_pendingTable,
          m_approvalRoad,
          m_speech,
          *m_dependencies.defaults,
          m_dependencies.clock,
          m_dependencies.bleTransport,
      }),
      m_announcements(*m_dependencies.defaults, *m_dependencies.clock),
      m_cloudAccount(m_keychain, *m_dependencies.clock,
          m_dependencies.cloudBaseURL.isEmpty() ? voice::CloudEndpoints::defaultBaseURL() : m_dependencies.cloudBaseURL,
          m_dependencies.openURL, CloudAccount::Links { m_speech, m_vm })
{
    // Wired now rather than at start-up: onboarding may install the hooks before the back end starts.
    m_approvalRoad.onLog = m_log;
    m_quit.onLog = m_log;
    m_approvalRoad.onParseFailure = [this] { m_hookServer->notifyParseFailure(); };
    m_approvalRoad.sessionKeyOf = [this](const QJsonObject& payload) {
        const std::optional<hooks::SessionKey> key = m_sessions.registry().keyOf(payload);
        return key ? key->text() : QString();
    };
    m_approvalRoad.onActivated = [this](hooks::ApprovalRequest request) {
        // The panel follows the pending table by itself; the sessions' files and the device's status lines catch up now
        // rather than at the next poll.
        m_sessions.statusChanged();
        return m_announcements.speakApproval(std::move(request));
    };
    m_terminalJump.onLog = m_log;
    m_hookInstaller.onLog = m_log;
    m_healthTicker.onLog = m_log;
    m_sessions.onLog = m_log;
    m_sessions.onSynced = [this](const std::optional<hooks::ClaudeStatus>& status,
                              const hooks::TranscriptData& transcript) { m_deviceLink.sendStatus(status, transcript); };
    m_sessions.onAcceptedEvent
        = [this](const QString& eventName, const QJsonObject& payload) { m_deviceLink.hookEvent(eventName, payload); };

    m_speech.onLog = m_log;
    m_speech.streaming().onStateChanged
        = [this](const QString& state) { Q_EMIT m_notifications.wsStateChanged(state); };
    m_speech.enhancer().promptTemplate = [this] { return m_appSettings.snapshot().enhance.promptTemplate; };
    m_dictation.onLog = m_log;
    // The jump finds the agent's terminal window through the same desktop.
    if (std::shared_ptr<platform::WindowSystem> windows = m_dictation.desktopVoice().desktop().windows) {
        m_terminalJump.setWindowLocator(std::make_shared<hooks::TerminalWindowLocator>(std::move(windows)));
    }
    m_deviceLink.onLog = m_log;

    m_cloudAccount.onLog = m_log;
    // What a take learns of the account comes back to the mirror the panel and the account pages read.
    m_speech.onCloudMinutesUpdate = [this](int minutesLeft) { m_cloudAccount.takeMinutesLeft(minutesLeft); };
    m_speech.onCloudAuthError = [this](const QString& reason) { m_cloudAccount.sessionRefused(reason); };
    m_cloudAccount.onChanged = [this] { m_sessions.statusChanged(); };
}

AppController::~AppController()
{
    m_healthTicker.stop();
    // Tearing down answers held requests, which would log into an owner that may already be gone.
    onLog = nullptr;
    // Requests failed open on the way out must not be sent to a link that goes before the table, and the device
    // pushers go before the view model whose changes they follow.
    m_approvalRoad.setBridge(nullptr);
    m_sessions.dropQueued();
    m_deviceLink.dropQueued();
    // The server goes first so no reply is written for requests the table fails open on its way out.
    m_hookServer.reset();
    m_pendingTable.reset();
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
    const bool statusDirectoryUsable
        = m_statusDirectory.prepare(&problem, &repair, !m_dependencies.statusDirectoryNamed);
    if (!repair.isEmpty()) {
        onLog(QStringLiteral("[diag] startup: status directory ") + repair, LogColor::Orange);
    }
    if (!statusDirectoryUsable) {
        onLog(QStringLiteral("[diag] startup: status directory refused, session files are neither read nor written: ")
                + problem,
            LogColor::Red);
    }
    // Sessions of earlier runs whose agents are gone would otherwise be listed again. It runs while the rest
    // starts; the watcher reports its deletions.
    hooks::StaleFileCleanup::run(
        m_statusDirectory, m_dependencies.processTable, m_dependencies.processDirectory, *m_dependencies.clock);
    // The settings of this run start empty; the file itself is kept aside as ".corrupt" for the user.
    if (const QString defaultsProblem = m_dependencies.defaults->loadError(); !defaultsProblem.isEmpty()) {
        onLog(QStringLiteral("[diag] startup: defaults unusable: ") + defaultsProblem, LogColor::Orange);
    }
    if (const auto ignored = voice::CloudEndpoints::ignoredOverride()) {
        onLog(QStringLiteral("[diag] startup: ") + *ignored, LogColor::Orange);
    }

    m_hookServer->onLog = m_log;
    m_hookServer->onEvent = [this](const QString& eventName, const QJsonObject& payload) {
        m_sessions.handleHookEvent(eventName, payload);
    };
    m_hookServer->asyncEventResponse
        = [this](QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held) {
              return m_sessions.reply(std::move(eventName), std::move(payload), std::move(held));
          };
    m_hookServer->heldEvents.clear();
    for (const hooks::HookEventDescriptor& row : hooks::HookEventManifest::all()) {
        if (row.requiresAsyncResponse) {
            m_hookServer->heldEvents.insert(hooks::toString(row.name));
        }
    }
    m_deviceLink.start();
    m_approvalRoad.installTableHandlers();
    startHookServer();
    m_sessions.start(statusDirectoryUsable);
    m_dictation.start();
    m_sessions.syncSessions();

    const QString settingsPath = agentSettingsPath();
    hooks::HookSelfCheck::emit(
        hooks::HookSelfCheck::run(settingsPath), [this](const QString& line) { onLog(line, LogColor::Orange); });
    m_healthTicker.start();
    startUsageReader();
    m_cloudAccount.loadStoredSession();
    m_speech.sockets().loadProxySettings();
    m_announcements.start(m_dependencies.ttsBackend(), m_deviceLink.ble(), m_dependencies.audioPlayer(), m_log);
    const auto followMicrophone = [this](const QString& micSource) {
        m_announcements.followMicrophone(micSource != QLatin1String(voice::SpeechBackends::localMicSource));
    };
    followMicrophone(m_speech.activeMicSource());
    m_speech.onMicSourceChanged = followMicrophone;
    m_speech.streaming().openIfEligible();
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
    return m_announcements.makeAssetCueOutput(executablePath(), m_dependencies.audioPlayer(), m_log);
}

void AppController::startUsageReader()
{
    m_codexBarReader.onLog = m_log;
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

void AppController::startHookServer()
{
    m_hookServer->start(m_dependencies.hookPort, std::nullopt, false);
    if (m_hookServer->portTaken()) {
        // Nothing retries, and the log is not where anyone looks at start-up: said once where the panel is.
        m_vm.setModeBHintText(QString::fromUtf8(portTakenNotice).arg(m_dependencies.hookPort), true);
    } else if (const QStringList refused = m_hookServer->refusedSecrets(); !refused.isEmpty()) {
        // The agents go quiet without a word of why: the log alone is not where anyone looks. Two lines under the
        // strip hold the file's whole name only with the home folder written short.
        const QString why = refused.join(QStringLiteral("; ")).replace(QDir::homePath() + u'/', QStringLiteral("~/"));
        m_vm.setModeBHintText(QString::fromUtf8(secretRefusedNotice).arg(why), true);
    }
}

HookServerHealth AppController::hookServerHealth() const
{
    const hooks::HookServer& server = *m_hookServer;
    return { server.listenerStateDescription(), server.activeConnectionCount(), server.totalEventCount(),
        server.lastEventAgeSec(), server.parseFailureCount(), server.bearerRejectCount() };
}

} // namespace murmeli::app
