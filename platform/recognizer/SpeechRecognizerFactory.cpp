#include "platform/recognizer/SpeechRecognizerFactory.h"

#include <utility>

#include "platform/recognizer/unavailable/UnavailableSpeechRecognizer.h"

#ifdef MURMELI_HAVE_POCKETSPHINX
#include "platform/recognizer/pocketsphinx/PocketsphinxSpeechRecognizer.h"
#endif

namespace murmeli::platform {

std::unique_ptr<SpeechRecognizer> makeSpeechRecognizer()
{
#ifdef MURMELI_HAVE_POCKETSPHINX
    PocketsphinxModel model = PocketsphinxModel::installed();
    if (const QString missing = model.missingFile(); !missing.isEmpty()) {
        return std::make_unique<UnavailableSpeechRecognizer>(
            QStringLiteral("the US English model is not installed (no %1)").arg(missing));
    }
    return std::make_unique<PocketsphinxSpeechRecognizer>(std::move(model));
#else
    return std::make_unique<UnavailableSpeechRecognizer>(QStringLiteral("this build has no pocketsphinx"));
#endif
}

} // namespace murmeli::platform
