#include "platform/speech/SpeechSynthesizerFactory.h"

#include "platform/speech/espeak/EspeakSynthesizer.h"

namespace murmeli::platform {

std::unique_ptr<SpeechSynthesizer> makeSpeechSynthesizer()
{
    return std::make_unique<EspeakSynthesizer>();
}

} // namespace murmeli::platform
