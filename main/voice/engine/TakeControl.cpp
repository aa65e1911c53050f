#include "main/voice/engine/TakeControl.h"

#include "main/voice/dispatch/TakeDispatcher.h"
#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"

namespace murmeli::voice {

TakeControl::TakeControl(SpeechEngine& engine, const platform::Defaults& defaults)
    : m_engine(engine), m_defaults(defaults)
{
}

TakeControl::Start TakeControl::start(const QString& micSource)
{
    // The handshake runs while the user starts speaking; the streaming start takes the socket when it is fresh.
    m_engine.preconnectIfNeeded();
    const bool device = micSource != QLatin1String(SpeechBackends::localMicSource);
    bool started = false;
    if (m_engine.canStreamingRecord()) {
        started = device ? m_engine.startStreamingBLERecord() : m_engine.startStreamingRecord();
    } else if (device) {
        m_engine.startDeviceRecording();
        started = true;
    } else {
        started = m_engine.startRecording();
    }
    const bool streaming = m_engine.isStreamingMode();
    m_path = streaming ? Path::Streaming : device ? Path::Device : Path::Batch;
    return { started, streaming };
}

void TakeControl::stop(const QByteArray& devicePcm)
{
    switch (m_path) {
    case Path::Streaming:
        m_engine.stopStreamingRecord();
        break;
    case Path::Device:
        m_engine.stopDeviceRecording(devicePcm);
        break;
    case Path::Batch:
        m_engine.stopRecording();
        break;
    }
}

void TakeControl::cancel()
{
    m_engine.cancelTake();
}

bool TakeControl::isNotice(const QString& message)
{
    return message == QLatin1String(TakeDispatcher::runTaskTexts.notice)
        || message == QLatin1String(TakeDispatcher::v3Texts.notice)
        || message.startsWith(QLatin1String("Cloud STT error: "));
}

bool TakeControl::isMicrophoneFailure(const QString& message)
{
    return message.startsWith(QLatin1String("Mic failed to start"))
        || message.startsWith(QLatin1String("AudioEngine failed"));
}

PolishGateContext TakeControl::polishGate(const STTContext& context) const
{
    return {
        !m_engine.cloudToken().isEmpty(),
        m_engine.effectiveBackendId(),
        SpeechEnhancerConfig::isAIOptimizationEnabled(m_defaults),
        context.hotwords(),
        m_engine.cloudWorkerURL(),
        m_engine.cloudToken(),
    };
}

} // namespace murmeli::voice
