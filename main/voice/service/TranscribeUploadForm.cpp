#include "main/voice/service/TranscribeUploadForm.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include "main/voice/context/STTContext.h"

namespace murmeli::voice {

QString TranscribeUploadForm::newBoundary()
{
    return QStringLiteral("Boundary-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QByteArray TranscribeUploadForm::contextJson(const STTContext& context)
{
    QJsonObject object;
    object.insert(QStringLiteral("tool"), context.tool());
    object.insert(QStringLiteral("files"), QJsonArray::fromStringList(context.files()));
    object.insert(QStringLiteral("costUSD"), context.costUSD());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray TranscribeUploadForm::body(const QByteArray& wav, const QByteArray& contextJson, const QString& boundary)
{
    const QByteArray dashBoundary = "--" + boundary.toUtf8();
    QByteArray body;
    body.reserve(wav.size() + contextJson.size() + 3 * dashBoundary.size() + 200);
    body.append(dashBoundary + "\r\n");
    body.append("Content-Disposition: form-data; name=\"audio\"; filename=\"audio.wav\"\r\n");
    body.append("Content-Type: audio/wav\r\n\r\n");
    body.append(wav);
    body.append("\r\n");
    body.append(dashBoundary + "\r\n");
    body.append("Content-Disposition: form-data; name=\"context\"\r\n\r\n");
    body.append(contextJson);
    body.append("\r\n");
    body.append(dashBoundary + "--\r\n");
    return body;
}

QByteArray TranscribeUploadForm::contentType(const QString& boundary)
{
    return "multipart/form-data; boundary=" + boundary.toUtf8();
}

} // namespace murmeli::voice
