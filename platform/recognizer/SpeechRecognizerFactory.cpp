#include "platform/recognizer/SpeechRecognizerFactory.h"

#include "platform/recognizer/unavailable/UnavailableSpeechRecognizer.h"

#ifdef MURMELI_HAVE_POCKETSPHINX
#include "platform/recognizer/pocketsphinx/PocketsphinxSpeechRecognizer.h"
#endif

namespace murmeli::platform {

std::unique_ptr<SpeechRecognizer> makeSpeechRecognizer()
{
#ifdef MURMELI_HAVE_POCKETSPHINX
    return std::make_unique<PocketsphinxSpeechRecognizer>(PocketsphinxModel::installed());
#else
    return std::make_unique<UnavailableSpeechRecognizer>(QStringLiteral("this build has no pocketsphinx"));
#endif
}

} // namespace murmeli::platform
