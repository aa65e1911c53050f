#pragma once

#include <QMap>
#include <QString>

namespace murmeli::voice {

/// What one polish request carries besides the gate: the take, its hotwords and where to send it.
struct EnhanceRequestInput {
    QString rawText;
    int durationMs = 0;
    QMap<QString, int> hotwords;
    QString locale;
    QString cloudWorkerURL;
    QString cloudToken;
};

/// A polish's answer: the transcript unchanged, or the polished text.
struct EnhanceResult {
    enum class Kind { Raw, Enhanced };

    static EnhanceResult raw(QString text) { return { Kind::Raw, std::move(text) }; }
    static EnhanceResult enhanced(QString text) { return { Kind::Enhanced, std::move(text) }; }

    Kind kind = Kind::Raw;
    QString text;
    bool operator==(const EnhanceResult&) const = default;
};

} // namespace murmeli::voice
