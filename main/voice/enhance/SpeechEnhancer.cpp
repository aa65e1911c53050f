#include "main/voice/enhance/SpeechEnhancer.h"

#include "main/voice/enhance/EngineStateProvider.h"
#include "main/voice/enhance/EnhanceTransport.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "main/voice/enhance/SpeechEnhancerFrame.h"

namespace murmeli::voice {

SpeechEnhancer::SpeechEnhancer(EnhanceTransport& transport, const platform::Defaults& defaults)
    : m_transport(transport), m_defaults(defaults)
{
}

EnhanceGateInputs SpeechEnhancer::gateInputs(
    int durationMs, const EngineStateProvider& provider, const QString& locale) const
{
    return EnhanceGateInputs { durationMs, !provider.cloudToken().isEmpty(), provider.effectiveBackendId(),
        SpeechEnhancerConfig::isAIOptimizationEnabled(m_defaults), locale };
}

bool SpeechEnhancer::shouldPolish(int durationMs, const EngineStateProvider* provider) const
{
    if (!provider) {
        return false;
    }
    const QString locale = effectiveLocale ? effectiveLocale() : QString();
    return SpeechEnhancerGate::evaluate(gateInputs(durationMs, *provider, locale)) == EnhanceGateDecision::Run;
}

QCoro::Task<SpeechEnhancer::Outcome> SpeechEnhancer::process(
    QString rawText, EnhanceGateInputs gate, EnhanceRequestInput request, QMap<QString, int> hotwords)
{
    const EnhanceGateDecision decision = SpeechEnhancerGate::evaluate(gate);
    if (shouldSkip(decision)) {
        co_return Outcome { EnhanceResult::raw(rawText), decision };
    }
    const std::optional<QString> promptOverride = promptTemplate ? promptTemplate() : std::nullopt;
    const std::optional<QString> frame
        = SpeechEnhancerFrame::encodeRequest(rawText, request.durationMs, hotwords, request.locale, promptOverride);
    if (!frame) {
        co_return Outcome { EnhanceResult::raw(rawText), decision };
    }
    const std::optional<QString> reply = co_await m_transport.send(
        *frame, request.cloudWorkerURL, request.cloudToken, SpeechEnhancerConfig::clientTimeoutMs);
    // Only locals from here on: the enhancer may be gone by the time the worker answers.
    if (reply) {
        const SpeechEnhancerFrame::Decoded decoded = SpeechEnhancerFrame::decode(*reply);
        if (const auto* enhanced = std::get_if<SpeechEnhancerFrame::Enhanced>(&decoded)) {
            co_return Outcome { EnhanceResult::enhanced(enhanced->enhanced), decision };
        }
    }
    co_return Outcome { EnhanceResult::raw(rawText), decision };
}

QCoro::Task<std::optional<QString>> SpeechEnhancer::polishIfEligible(QString rawText, int durationMs)
{
    if (!m_provider) {
        co_return std::nullopt;
    }
    const QString locale = effectiveLocale ? effectiveLocale() : QString();
    const EnhanceGateInputs gate = gateInputs(durationMs, *m_provider, locale);
    const QMap<QString, int> hotwords = m_provider->currentHotwords();
    EnhanceRequestInput request { rawText, durationMs, hotwords, locale, m_provider->cloudWorkerURL(),
        m_provider->cloudToken() };
    const Outcome outcome = co_await process(rawText, gate, std::move(request), hotwords);
    if (outcome.result.kind == EnhanceResult::Kind::Enhanced) {
        co_return outcome.result.text;
    }
    co_return std::nullopt;
}

} // namespace murmeli::voice
