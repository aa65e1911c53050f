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
    bool started = false;
    if (micSource != QLatin1String(SpeechBackends::localMicSource)) {
        started = m_engine.startStreamingBLERecord();
    } else if (m_engine.canStreamingRecord()) {
        started = m_engine.startStreamingRecord();
    } else {
        started = m_engine.startRecording();
    }
    m_streaming = m_engine.isStreamingMode();
    return { started, m_streaming };
}

void TakeControl::stop()
{
    if (m_streaming) {
        m_engine.stopStreamingRecord();
    } else {
        m_engine.stopRecording();
    }
}

bool TakeControl::isNotice(const QString& message)
{
    return message == QLatin1String(TakeDispatcher::runTaskTexts.notice)
        || message == QLatin1String(TakeDispatcher::v3Texts.notice)
        || message.startsWith(QLatin1String("Cloud STT error: "));
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
