#pragma once

#include <QString>

namespace murmeli::platform {

/// The files of one packaged pocketsphinx model and the language they recognise.
struct PocketsphinxModel final {
    /// As a locale tag: "en-US".
    QString locale;
    /// The acoustic model's folder (mdef, means, variances, ...).
    QString acousticModelDir;
    QString languageModelPath;
    QString dictionaryPath;

    /// The US English model of Debian's pocketsphinx-en-us package under root, the package's folder by default.
    static PocketsphinxModel installed(const QString& root = QStringLiteral("/usr/share/pocketsphinx/model/en-us"));

    /// The first file the decoder needs that is not there, "" when all are.
    QString missingFile() const;
    bool isComplete() const { return missingFile().isEmpty(); }

    friend bool operator==(const PocketsphinxModel&, const PocketsphinxModel&) = default;
};

} // namespace murmeli::platform
