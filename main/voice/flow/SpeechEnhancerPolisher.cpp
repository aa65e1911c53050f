#include "main/voice/flow/SpeechEnhancerPolisher.h"

#include <QCoroTask>

#include "main/voice/enhance/SpeechEnhancer.h"

namespace murmeli::voice {

namespace {

QCoro::Task<> runPolish(SpeechEnhancer& enhancer, QString rawText, int durationMs, VoicePolisher::Completion completion)
{
    std::optional<QString> polished = co_await enhancer.polishIfEligible(std::move(rawText), durationMs);
    if (completion) {
        completion(std::move(polished));
    }
}

} // namespace

SpeechEnhancerPolisher::SpeechEnhancerPolisher(SpeechEnhancer& enhancer) : m_enhancer(enhancer) { }

void SpeechEnhancerPolisher::polish(QString rawText, int durationMs, QMap<QString, int> hotwords,
    EnhanceGateInputs gateInputs, EnhanceRequestInput request, Completion completion)
{
    Q_UNUSED(hotwords)
    Q_UNUSED(gateInputs)
    Q_UNUSED(request)
    // Runs on by itself; the flow's completion checks whether the take is still the one that asked.
    runPolish(m_enhancer, std::move(rawText), durationMs, std::move(completion));
}

} // namespace murmeli::voice
