#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace murmeli::voice {

/// The slice of a take's recognition context that the upload sends: hotwords and locale stay behind.
struct UploadContext {
    QString tool;
    QStringList files;
    double costUSD = 0;
};

/// The multipart form of one upload to the worker's "/transcribe": the take's WAV as "audio", its context as
/// "context".
class TranscribeUploadForm final {
public:
    /// A fresh boundary for one request: "Boundary-" and a new UUID in upper case.
    static QString newBoundary();
    /// The compact JSON object {"tool", "files", "costUSD"}.
    static QByteArray contextJson(const UploadContext& context);
    /// The whole request body for wav and contextJson, framed by boundary.
    static QByteArray body(const QByteArray& wav, const QByteArray& contextJson, const QString& boundary);
    /// The request's Content-Type for boundary.
    static QByteArray contentType(const QString& boundary);
};

} // namespace murmeli::voice
