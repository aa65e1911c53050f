#include "main/device/tts/Announcements.h"

#include <QJsonValue>

#include "main/common/ResourcePaths.h"
#include "main/device/cues/AssetAudioCueOutput.h"
#include "main/device/cues/SilentAudioCueOutput.h"
#include "main/device/tts/BLETTSOutput.h"
#include "main/device/tts/MacTTSOutput.h"
#include "main/device/tts/TTSPrompt.h"
#include "main/hooks/events/HookEventType.h"

namespace murmeli::device {

namespace {

/// The first of the keys whose value is text, else the fallback.
QString textOf(const QJsonObject& payload, std::initializer_list<const char*> keys, const QString& fallback = {})
{
    for (const char* key : keys) {
        const QJsonValue value = payload.value(QLatin1String(key));
        if (value.isString()) {
            return value.toString();
        }
    }
    return fallback;
}

} // namespace

Announcements::Announcements(platform::Defaults& defaults, common::Clock& clock)
    : m_clock(clock), m_tts(defaults), m_audioCue(std::make_shared<device::SilentAudioCueOutput>())
{
}

Announcements::~Announcements() = default;

void Announcements::setAudioCue(std::shared_ptr<device::AudioCueOutput> output)
{
    m_audioCue = output ? std::move(output) : std::make_shared<device::SilentAudioCueOutput>();
}

std::shared_ptr<device::AudioCueOutput> Announcements::makeAssetCueOutput(
    const QString& executablePath, std::unique_ptr<platform::AudioPlayer> player, common::LogSink logSink)
{
    return std::make_shared<device::AssetAudioCueOutput>([this](const QString& phrase) { speakInBackground(phrase); },
        std::move(logSink), common::resourceFolderCandidates(executablePath, common::ResourceFolder::Sounds),
        std::move(player));
}

void Announcements::start(std::shared_ptr<device::TTSBackend> backend, device::BLEBridge* ble,
    std::unique_ptr<platform::AudioPlayer> speaker, common::LogSink logSink)
{
    m_tts.onLog = logSink;
    m_tts.setBackends({ std::move(backend) });

    auto device = std::make_shared<device::BLETTSOutput>(m_clock);
    device->onLog = logSink;
    if (ble) {
        device->sendBinary = [ble](const QByteArray& bytes) { ble->sendBinary(bytes); };
        device->isBLEConnected = [ble] { return ble->isConnected(); };
    }
    auto computer = std::make_shared<device::MacTTSOutput>(std::move(speaker));
    computer->onLog = logSink;
    // The device first: while it is connected it is where the user listens; otherwise the computer speaks.
    m_tts.setOutputs({ std::move(device), std::move(computer) });
}

void Announcements::followMicrophone(bool deviceIsMicrophone)
{
    m_tts.setActiveOutputId(
        QString::fromLatin1(deviceIsMicrophone ? device::BLETTSOutput::outputId : device::MacTTSOutput::outputId));
}

QCoro::Task<> Announcements::speakApproval(hooks::ApprovalRequest request)
{
    co_await m_tts.speak(device::TTSPrompt::forApproval(request.toolName, request.commandPreview));
}

void Announcements::speakForHookEvent(const QString& eventName, const QJsonObject& payload,
    const hooks::TranscriptData& transcript, const std::optional<hooks::ClaudeStatus>& status)
{
    const std::optional<hooks::HookEventType> type = hooks::hookEventTypeFromString(eventName);
    if (!type) {
        return;
    }
    switch (*type) {
    case hooks::HookEventType::Stop:
        speakInBackground(device::TTSPrompt::forStop(transcript, status));
        return;
    case hooks::HookEventType::StopFailure:
        speakInBackground(
            device::TTSPrompt::forStopFailure(textOf(payload, { "error_type" }, QStringLiteral("unknown")),
                textOf(payload, { "error_message", "reason" })));
        return;
    case hooks::HookEventType::PostToolUseFailure:
        speakInBackground(
            device::TTSPrompt::forToolFailure(textOf(payload, { "tool_name", "tool" }), textOf(payload, { "error" })));
        return;
    default:
        return;
    }
}

void Announcements::speakInBackground(QString phrase)
{
    // The engine drops what it cannot say and never fails its caller; nobody waits for the phrase.
    [[maybe_unused]] const QCoro::Task<> speaking = m_tts.speak(std::move(phrase));
}

} // namespace murmeli::device
