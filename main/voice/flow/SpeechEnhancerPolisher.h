#pragma once

#include <memory>

#include "main/voice/flow/VoicePolisher.h"

namespace murmeli::voice {

class SpeechEnhancer;

/// The polish through the speech engine's enhancer, which runs its own gate and time limit and reads the request's
/// details from the engine; the hotwords, gate inputs and request given here are not used.
class SpeechEnhancerPolisher final : public VoicePolisher {
public:
    /// enhancer must outlive every polish started here.
    explicit SpeechEnhancerPolisher(SpeechEnhancer& enhancer);

    void polish(QString rawText, int durationMs, QMap<QString, int> hotwords, EnhanceGateInputs gateInputs,
        EnhanceRequestInput request, Completion completion) override;

private:
    SpeechEnhancer& m_enhancer;
};

} // namespace murmeli::voice
