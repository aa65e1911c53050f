#include "main/app/views/ControllerSettingsHost.h"

#include "main/app/AppController.h"
#include "main/app/ptt/PushToTalkRoad.h"

namespace murmeli::app {

ControllerSettingsHost::ControllerSettingsHost(AppController& controller) : m_controller(controller) { }

voice::SpeechEngine& ControllerSettingsHost::speech()
{
    return m_controller.speech();
}

void ControllerSettingsHost::log(const QString& message, common::LogColor color)
{
    if (m_controller.onLog) {
        m_controller.onLog(message, color);
    }
}

qint64 ControllerSettingsHost::cloudMinutesLeft() const
{
    return m_controller.cloudAccount().mirror().minutesLeft;
}

bool ControllerSettingsHost::hasStoredCloudSession() const
{
    return m_controller.cloudAccount().hasStoredSession();
}

QString ControllerSettingsHost::streamingStateRaw() const
{
    const voice::Qwen3ASRStreamingSession* session = m_controller.speech().streaming().session();
    return session == nullptr ? QString() : voice::toString(session->state());
}

void ControllerSettingsHost::openStreamingSessionIfEligible()
{
    m_controller.speech().streaming().openIfEligible();
}

void ControllerSettingsHost::closeStreamingSession()
{
    m_controller.speech().streaming().close();
}

std::optional<QString> ControllerSettingsHost::setWebSocketProxy(const QString& host, int port)
{
    return m_controller.speech().setWebSocketProxy(host, port);
}

QCoro::Task<std::optional<QString>> ControllerSettingsHost::testWebSocketConnection()
{
    return m_controller.speech().sockets().testConnection();
}

void ControllerSettingsHost::rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey)
{
    m_controller.dictation().road().rebindCustomHotkey(PushToTalkRoad::customHotkeyChord(hotkey));
}

void ControllerSettingsHost::setHotkeyRecording(bool recording)
{
    m_controller.dictation().road().setHotkeyRecording(recording);
}

std::optional<settings::InjectionSupport> ControllerSettingsHost::injectionSupport()
{
    const platform::InjectionSupport support
        = m_controller.dictation().desktopVoice().desktop().windows->injectionSupport();
    return settings::InjectionSupport { support.canInject, support.reason };
}

QList<settings::SpeechVoice> ControllerSettingsHost::speechVoices() const
{
    QList<settings::SpeechVoice> result;
    for (const std::shared_ptr<device::TTSBackend>& backend : m_controller.announcements().tts().backends()) {
        result.append({ backend->id(), backend->displayName(), backend->isAvailable() });
    }
    return result;
}

QString ControllerSettingsHost::activeSpeechVoiceId() const
{
    return m_controller.announcements().tts().activeBackendId();
}

void ControllerSettingsHost::setActiveSpeechVoiceId(const QString& id)
{
    m_controller.announcements().tts().setActiveBackendId(id);
}

QString ControllerSettingsHost::executablePath() const
{
    return m_controller.executablePath();
}

platform::KeychainStore ControllerSettingsHost::keychain() const
{
    return m_controller.hookSecrets();
}

QString ControllerSettingsHost::agentSettingsPath() const
{
    return m_controller.agentSettingsPath();
}

QCoro::Task<std::optional<QString>> ControllerSettingsHost::installClaudeHooks()
{
    return m_controller.hookInstaller().installAndWait();
}

void ControllerSettingsHost::hooksInstalled()
{
    m_controller.takeUpStoredHookSecret();
}

settings::LabStatus::DeviceLink ControllerSettingsHost::deviceLink() const
{
    using Radio = settings::LabStatus::Radio;
    using AdapterState = platform::BleTransport::AdapterState;
    const device::BLEBridge* link = m_controller.deviceLink().ble();
    if (link == nullptr) {
        return {};
    }
    Radio radio = Radio::Unknown;
    switch (link->adapterState()) {
    case AdapterState::Resetting:
        radio = Radio::Resetting;
        break;
    case AdapterState::Unsupported:
        radio = Radio::Unsupported;
        break;
    case AdapterState::Unauthorized:
        radio = Radio::Unauthorized;
        break;
    case AdapterState::PoweredOff:
        radio = Radio::PoweredOff;
        break;
    case AdapterState::PoweredOn:
        radio = Radio::PoweredOn;
        break;
    case AdapterState::Unknown:
        break;
    }
    return { link->isStarted() && !link->isStopped(), link->isConnected(), link->peripheralName(), radio };
}

void ControllerSettingsHost::setDeviceLinkRunning(bool on)
{
    m_controller.deviceLink().setRunning(on);
}

bool ControllerSettingsHost::speaksAnnouncements() const
{
    return m_controller.announcements().tts().isEnabled();
}

void ControllerSettingsHost::setSpeaksAnnouncements(bool on)
{
    m_controller.announcements().tts().setEnabled(on);
}

usage::CodexBarUsageReader& ControllerSettingsHost::usageReader()
{
    return m_controller.codexBarReader();
}

void ControllerSettingsHost::clearUsageDisplay()
{
    m_controller.vm().setUsageSnapshot(std::nullopt);
    m_controller.vm().setUsageSnapshots({});
}

std::optional<QDateTime> ControllerSettingsHost::lastUsageUpdate() const
{
    const std::optional<usage::CodexBarUsageSnapshot>& snapshot = m_controller.vm().usageSnapshot();
    return snapshot ? snapshot->lastUpdate : std::nullopt;
}

void ControllerSettingsHost::testUsageCommand(const QString& command, double timeoutSec,
    std::function<void(int secondsLeft)> onProgress, std::function<void(bool ok, const QString& message)> completion)
{
    usage::CodexBarUsageReader::testRun(command, timeoutSec, std::move(onProgress), std::move(completion));
}

} // namespace murmeli::app
