#pragma once

#include <functional>
#include <optional>

#include <QMap>
#include <QString>

#include "main/voice/enhance/EnhanceTypes.h"
#include "main/voice/enhance/SpeechEnhancerGate.h"

namespace murmeli::voice {

/// How the voice flow has a finished transcript polished.
class VoicePolisher {
public:
    /// Receives the polished text, or nullopt to go on with the raw text.
    using Completion = std::function<void(std::optional<QString> polished)>;

    VoicePolisher() = default;
    virtual ~VoicePolisher() = default;
    VoicePolisher(const VoicePolisher&) = delete;
    VoicePolisher& operator=(const VoicePolisher&) = delete;

    /// Starts the polish and returns at once; completion runs later, once, on the main thread.
    virtual void polish(QString rawText, int durationMs, QMap<QString, int> hotwords, EnhanceGateInputs gateInputs,
        EnhanceRequestInput request, Completion completion)
        = 0;
};

} // namespace murmeli::voice
