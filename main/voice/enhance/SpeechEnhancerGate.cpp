#include "main/voice/enhance/SpeechEnhancerGate.h"

#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"

namespace murmeli::voice {

QString toString(EnhanceGateDecision decision)
{
    switch (decision) {
    case EnhanceGateDecision::Run:
        return QStringLiteral("run");
    case EnhanceGateDecision::SkipDuration:
        return QStringLiteral("skipDuration");
    case EnhanceGateDecision::SkipUnauth:
        return QStringLiteral("skipUnauth");
    case EnhanceGateDecision::SkipBackend:
        return QStringLiteral("skipBackend");
    case EnhanceGateDecision::SkipAIOptOff:
        return QStringLiteral("skipAIOptOff");
    case EnhanceGateDecision::SkipLocale:
        return QStringLiteral("skipLocale");
    }
    return {};
}

EnhanceGateDecision SpeechEnhancerGate::evaluate(const EnhanceGateInputs& inputs)
{
    if (inputs.durationMs < SpeechEnhancerConfig::durationGateMs) {
        return EnhanceGateDecision::SkipDuration;
    }
    if (inputs.effectiveBackendId != QLatin1String(SpeechBackends::cloudStreamingId)) {
        return EnhanceGateDecision::SkipBackend;
    }
    if (!inputs.cloudLoggedIn) {
        return EnhanceGateDecision::SkipUnauth;
    }
    if (!inputs.aiOptimizationOn) {
        return EnhanceGateDecision::SkipAIOptOff;
    }
    if (!SpeechEnhancerConfig::supportedLocales().contains(inputs.locale)) {
        return EnhanceGateDecision::SkipLocale;
    }
    return EnhanceGateDecision::Run;
}

} // namespace murmeli::voice
