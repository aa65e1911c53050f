#pragma once

#include <QString>

namespace murmeli::voice {

/// What the gate looks at for one finished take.
struct EnhanceGateInputs {
    int durationMs = 0;
    bool cloudLoggedIn = false;
    QString effectiveBackendId;
    bool aiOptimizationOn = false;
    QString locale;
};

/// The gate's answer: run the polish, or which rule skipped it.
enum class EnhanceGateDecision { Run, SkipDuration, SkipUnauth, SkipBackend, SkipAIOptOff, SkipLocale };

/// Every decision but Run.
inline bool shouldSkip(EnhanceGateDecision decision)
{
    return decision != EnhanceGateDecision::Run;
}

/// "run", "skipDuration", ... for log lines and test names.
QString toString(EnhanceGateDecision decision);

/// Whether a take is worth polishing; the first rule that fails names the skip.
class SpeechEnhancerGate final {
public:
    static EnhanceGateDecision evaluate(const EnhanceGateInputs& inputs);
};

} // namespace murmeli::voice
