#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace murmeli::platform {

PocketsphinxModel PocketsphinxModel::installed(const QString& root)
{
    const QDir dir(root);
    return { QStringLiteral("en-US"), dir.filePath(QStringLiteral("en-us")),
        dir.filePath(QStringLiteral("en-us.lm.bin")), dir.filePath(QStringLiteral("cmudict-en-us.dict")), {}, {} };
}

PocketsphinxModel PocketsphinxModel::withDictation(const QString& speechFolder) const
{
    const QDir dir(speechFolder);
    PocketsphinxModel model = *this;
    model.dictationModelPath = dir.filePath(QStringLiteral("dictation.lm"));
    model.developerDictionaryPath = dir.filePath(QStringLiteral("developer.dict"));
    return model;
}

QString PocketsphinxModel::missingFile() const
{
    const QDir acoustic(acousticModelDir);
    QStringList needed { acoustic.filePath(QStringLiteral("mdef")), acoustic.filePath(QStringLiteral("means")),
        acoustic.filePath(QStringLiteral("variances")), acoustic.filePath(QStringLiteral("transition_matrices")),
        acoustic.filePath(QStringLiteral("feat.params")), languageModelPath, dictionaryPath };
    for (const QString& extra : { dictationModelPath, developerDictionaryPath }) {
        if (!extra.isEmpty()) {
            needed << extra;
        }
    }
    for (const QString& path : needed) {
        if (!QFileInfo(path).isFile()) {
            return path;
        }
    }
    return {};
}

} // namespace murmeli::platform
