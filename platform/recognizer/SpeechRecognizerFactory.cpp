#include "platform/recognizer/SpeechRecognizerFactory.h"

#include <utility>

#include <QCoreApplication>

#include "main/common/ResourcePaths.h"
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
    // Without murmeli's own files beside it, the stock model still recognises everyday English.
    if (const auto speech
        = common::findResourceFolder(QCoreApplication::applicationFilePath(), common::ResourceFolder::Speech)) {
        if (PocketsphinxModel dictation = model.withDictation(*speech); dictation.isComplete()) {
            model = std::move(dictation);
        }
    }
    return std::make_unique<PocketsphinxSpeechRecognizer>(std::move(model));
#else
    return std::make_unique<UnavailableSpeechRecognizer>(QStringLiteral("this build has no pocketsphinx"));
#endif
}

} // namespace murmeli::platform
