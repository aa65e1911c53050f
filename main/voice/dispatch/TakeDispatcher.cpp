#include "main/voice/dispatch/TakeDispatcher.h"

#include <utility>

#include "main/voice/engine/SpeechBackends.h"
#include "main/voice/service/CloudTranscribe.h"

namespace murmeli::voice {

TakeDispatcher::TakeDispatcher(Routes routes, TakeFiles& files) : m_routes(std::move(routes)), m_files(files) { }

bool TakeDispatcher::uploads(const QString& effectiveBackendId, const QString& cloudToken)
{
    return effectiveBackendId == QLatin1String(SpeechBackends::cloudId) && !cloudToken.isEmpty();
}

void TakeDispatcher::dispatch(const QString& wavPath, const std::optional<QByteArray>& wav, const STTContext& context)
{
    if (uploads(m_routes.effectiveBackendId(), m_routes.cloudToken())) {
        m_routes.transcribeCloud(wavPath, wav, context);
    } else {
        m_routes.transcribeOnDevice(wavPath);
    }
}

void TakeDispatcher::deliverText(const QString& text)
{
    if (text.isEmpty()) {
        reportError(QString::fromLatin1(noSpeechText));
    } else if (onResult) {
        onResult(text);
    }
}

void TakeDispatcher::fallback(const QByteArray& pcm, const QString& errorText, FallbackTexts texts)
{
    if (pcm.isEmpty()) {
        reportError(QString::fromLatin1(texts.failurePrefix) + errorText);
        return;
    }
    QString problem;
    const std::optional<QString> backup
        = m_files.write(QString::fromLatin1(backupFileStem), CloudTranscribe::buildWAV(pcm, takeSampleRate), &problem);
    if (!backup) {
        // Nothing is left to hear the take again from; said rather than handed on as an unreadable file.
        reportError(QString::fromLatin1(texts.failurePrefix) + errorText + QStringLiteral("; ") + problem);
        return;
    }
    reportError(QString::fromLatin1(texts.notice));
    m_routes.transcribeOnDevice(*backup);
}

void TakeDispatcher::reportTooShort()
{
    reportError(QString::fromLatin1(tooShortText));
}

void TakeDispatcher::reportError(const QString& message)
{
    if (onError) {
        onError(message);
    }
}

} // namespace murmeli::voice
