#pragma once

#include <QString>

namespace murmeli::platform {

/// The files of one packaged pocketsphinx model and the language they recognise, with murmeli's own additions for
/// dictation to a coding agent where they are shipped.
struct PocketsphinxModel final {
    /// As a locale tag: "en-US".
    QString locale;
    /// The acoustic model's folder (mdef, means, variances, ...).
    QString acousticModelDir;
    QString languageModelPath;
    QString dictionaryPath;
    /// An ARPA model of dictation to a coding agent, mixed with the stock one; "" for the stock model alone.
    QString dictationModelPath;
    /// Words a developer says that the stock dictionary lacks, in its format; "" for none.
    QString developerDictionaryPath;

    /// The US English model of Debian's pocketsphinx-en-us package under root, the package's folder by default.
    static PocketsphinxModel installed(const QString& root = QStringLiteral("/usr/share/pocketsphinx/model/en-us"));

    /// This model with the dictation model and the developer dictionary of murmeli's speech folder.
    PocketsphinxModel withDictation(const QString& speechFolder) const;

    /// The first file the decoder needs that is not there, "" when all are.
    QString missingFile() const;
    bool isComplete() const { return missingFile().isEmpty(); }

    friend bool operator==(const PocketsphinxModel&, const PocketsphinxModel&) = default;
};

} // namespace murmeli::platform
