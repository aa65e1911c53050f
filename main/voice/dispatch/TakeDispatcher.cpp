#include "main/voice/dispatch/TakeDispatcher.h"

#include <utility>

#include <QDir>
#include <QFile>

#include "main/voice/service/CloudTranscribe.h"
#include "main/voice/engine/SpeechBackends.h"

namespace murmeli::voice {

TakeDispatcher::TakeDispatcher(Routes routes, QString tempDirectory)
    : m_routes(std::move(routes)),
      m_tempDirectory(tempDirectory.isEmpty() ? QDir::tempPath() : std::move(tempDirectory))
{
}

void TakeDispatcher::dispatch(const QString& wavPath, const std::optional<QByteArray>& wav, const STTContext& context)
{
    const bool upload
        = m_routes.effectiveBackendId() == QLatin1String(SpeechBackends::cloudId) && !m_routes.cloudToken().isEmpty();
    if (upload) {
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
    // A failed write is left to the recogniser to report: it cannot read the file and says so.
    QFile backup(backupPath());
    if (backup.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        backup.write(CloudTranscribe::buildWAV(pcm, takeSampleRate));
        backup.close();
    }
    reportError(QString::fromLatin1(texts.notice));
    m_routes.transcribeOnDevice(backupPath());
}

void TakeDispatcher::reportTooShort()
{
    reportError(QString::fromLatin1(tooShortText));
}

QString TakeDispatcher::backupPath() const
{
    return QDir(m_tempDirectory).filePath(QString::fromLatin1(backupFileName));
}

void TakeDispatcher::reportError(const QString& message)
{
    if (onError) {
        onError(message);
    }
}

} // namespace murmeli::voice
