#pragma once

#include <QByteArray>
#include <QString>

namespace murmeli::voice {

class STTContext;

/// The multipart form of one upload to the worker's "/transcribe": the take's WAV as "audio", its context as
/// "context".
class TranscribeUploadForm final {
public:
    /// A fresh boundary for one request: "Boundary-" and a new UUID in upper case.
    static QString newBoundary();
    /// The slice of the take's context the worker reads, as the compact JSON object {"tool", "files", "costUSD"}:
    /// hotwords and locale stay behind.
    static QByteArray contextJson(const STTContext& context);
    /// The whole request body for wav and contextJson, framed by boundary.
    static QByteArray body(const QByteArray& wav, const QByteArray& contextJson, const QString& boundary);
    /// The request's Content-Type for boundary.
    static QByteArray contentType(const QString& boundary);
};

} // namespace murmeli::voice
