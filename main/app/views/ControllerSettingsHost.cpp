#include "main/app/views/ControllerSettingsHost.h"

#include "main/app/AppController.h"

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
    return m_controller.cloudMinutesLeft();
}

bool ControllerSettingsHost::hasStoredCloudSession() const
{
    return m_controller.hasStoredCloudSession();
}

QString ControllerSettingsHost::streamingStateRaw() const
{
    const voice::Qwen3ASRStreamingSession* session = m_controller.qwen3Session();
    return session == nullptr ? QString() : voice::toString(session->state());
}

void ControllerSettingsHost::openStreamingSessionIfEligible()
{
    m_controller.openQwen3SessionIfEligible();
}

void ControllerSettingsHost::closeStreamingSession()
{
    m_controller.closeQwen3Session();
}

std::optional<QString> ControllerSettingsHost::setWebSocketProxy(const QString& host, int port)
{
    return m_controller.setWebSocketProxy(host, port);
}

QCoro::Task<std::optional<QString>> ControllerSettingsHost::testWebSocketConnection()
{
    return m_controller.speech().sockets().testConnection();
}

void ControllerSettingsHost::rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey)
{
    m_controller.rebindCustomPTTHotkey(hotkey);
}

std::optional<settings::InjectionSupport> ControllerSettingsHost::injectionSupport()
{
    const platform::InjectionSupport support = m_controller.desktopVoice().desktop().windows->injectionSupport();
    return settings::InjectionSupport { support.canInject, support.reason };
}

QList<settings::SpeechVoice> ControllerSettingsHost::speechVoices() const
{
    QList<settings::SpeechVoice> result;
    for (const std::shared_ptr<device::TTSBackend>& backend : m_controller.tts().backends()) {
        result.append({ backend->id(), backend->displayName(), backend->isAvailable() });
    }
    return result;
}

QString ControllerSettingsHost::activeSpeechVoiceId() const
{
    return m_controller.tts().activeBackendId();
}

void ControllerSettingsHost::setActiveSpeechVoiceId(const QString& id)
{
    m_controller.tts().setActiveBackendId(id);
}

} // namespace murmeli::app
