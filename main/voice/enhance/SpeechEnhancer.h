#pragma once

#include <functional>
#include <optional>

#include <QMap>
#include <QString>

#include <QCoroTask>

#include "main/voice/enhance/EnhanceTypes.h"
#include "main/voice/enhance/SpeechEnhancerGate.h"

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {

class EngineStateProvider;
class EnhanceTransport;

/// Polishes a finished take's transcript through the cloud when the gate allows it; every failure quietly gives the
/// raw text back. Holds no per-request state, so takes may be polished side by side.
class SpeechEnhancer final {
public:
    struct Outcome {
        EnhanceResult result;
        EnhanceGateDecision decision = EnhanceGateDecision::Run;
        bool operator==(const Outcome&) const = default;
    };

    /// The effective recognition locale tag (the locale normaliser over the user's defaults); unset means "".
    std::function<QString()> effectiveLocale;
    /// The settings file's prompt template for the polish, if it sets one.
    std::function<std::optional<QString>()> promptTemplate;

    /// transport and defaults must outlive the enhancer and every polish it starts.
    SpeechEnhancer(EnhanceTransport& transport, const platform::Defaults& defaults);

    /// The engine state the polish reads; without one, polishIfEligible gives nothing. Not owned.
    void setEngineStateProvider(const EngineStateProvider* provider) { m_provider = provider; }
    const EngineStateProvider* engineStateProvider() const { return m_provider; }

    /// Runs the gate and, when it says run, one exchange; completes at once for a skip.
    QCoro::Task<Outcome> process(
        QString rawText, EnhanceGateInputs gate, EnhanceRequestInput request, QMap<QString, int> hotwords);

    /// Whether a take of durationMs would be polished with provider's state; false without a provider.
    bool shouldPolish(int durationMs, const EngineStateProvider* provider) const;

    /// The voice flow's entry: the polished text, or nullopt when the take stays as it is.
    QCoro::Task<std::optional<QString>> polishIfEligible(QString rawText, int durationMs);

private:
    EnhanceGateInputs gateInputs(int durationMs, const EngineStateProvider& provider, const QString& locale) const;

    EnhanceTransport& m_transport;
    const platform::Defaults& m_defaults;
    const EngineStateProvider* m_provider = nullptr;
};

} // namespace murmeli::voice
