#include "tests/support/MockTranscribeRoute.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace murmeli::test {

namespace {

/// The value of a parameter such as name="audio" in a Content-Disposition line.
std::optional<QString> dispositionParameter(const QByteArray& line, const char* parameter)
{
    const QRegularExpression pattern(QStringLiteral("; %1=\"([^\"]*)\"").arg(QLatin1String(parameter)));
    const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(line));
    return match.hasMatch() ? std::optional<QString>(match.captured(1)) : std::nullopt;
}

} // namespace

const MockTranscribeRoute::Part* MockTranscribeRoute::Upload::part(const QString& name) const
{
    for (const Part& candidate : parts) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

QJsonObject MockTranscribeRoute::Upload::context() const
{
    const Part* found = part(QStringLiteral("context"));
    return found ? QJsonDocument::fromJson(found->data).object() : QJsonObject();
}

MockTranscribeRoute::MockTranscribeRoute(MockCloudWorker& worker)
{
    worker.registerHttpRoute(
        QString::fromLatin1(path), [this](const MockHttpRequest& request) { return answer(request); });
}

MockTranscribeRoute::Upload MockTranscribeRoute::parseForm(const QByteArray& body, const QString& boundary)
{
    Upload upload;
    upload.boundary = boundary;
    const QByteArray delimiter = "--" + boundary.toUtf8();
    if (boundary.isEmpty() || !body.startsWith(delimiter + "\r\n")) {
        upload.violations.append(QStringLiteral("the body does not open with the boundary line"));
        return upload;
    }
    if (!body.endsWith("\r\n" + delimiter + "--\r\n")) {
        upload.violations.append(QStringLiteral("the body does not end with the closing boundary line"));
        return upload;
    }
    qsizetype at = delimiter.size() + 2;
    const QByteArray separator = "\r\n" + delimiter;
    while (true) {
        const qsizetype end = body.indexOf(separator, at);
        const qsizetype headEnd = body.indexOf("\r\n\r\n", at);
        if (end < 0 || headEnd < 0 || headEnd > end) {
            upload.violations.append(QStringLiteral("a part without a blank line after its headers"));
            return upload;
        }
        Part part;
        for (const QByteArray& line : body.mid(at, headEnd - at).split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.toLower().startsWith("content-disposition: form-data")) {
                part.name = dispositionParameter(trimmed, "name").value_or(QString());
                part.filename = dispositionParameter(trimmed, "filename");
            } else if (trimmed.toLower().startsWith("content-type:")) {
                part.contentType = trimmed.mid(13).trimmed();
            } else if (!trimmed.isEmpty()) {
                upload.violations.append(QStringLiteral("unexpected part header: %1").arg(QString::fromUtf8(trimmed)));
            }
        }
        if (part.name.isEmpty()) {
            upload.violations.append(QStringLiteral("a part without a form-data name"));
        }
        part.data = body.mid(headEnd + 4, end - headEnd - 4);
        upload.parts.push_back(std::move(part));
        at = end + separator.size();
        if (body.mid(at, 4) == "--\r\n") {
            return upload;
        }
        if (body.mid(at, 2) != "\r\n") {
            upload.violations.append(QStringLiteral("a boundary line followed by something other than CRLF"));
            return upload;
        }
        at += 2;
    }
}

MockHttpReply MockTranscribeRoute::answer(const MockHttpRequest& request)
{
    const QByteArray contentType = request.header("content-type").value_or(QByteArray());
    static const QRegularExpression boundaryPattern(QStringLiteral("^multipart/form-data; boundary=(\\S+)$"));
    const QRegularExpressionMatch match = boundaryPattern.match(QString::fromUtf8(contentType));
    Upload upload = parseForm(request.body, match.hasMatch() ? match.captured(1) : QString());
    upload.bearerToken = request.bearerToken();
    upload.contentType = contentType;
    if (request.method != "POST") {
        upload.violations.append(QStringLiteral("method %1").arg(QString::fromLatin1(request.method)));
    }
    m_uploads.push_back(std::move(upload));

    MockHttpReply reply;
    switch (m_script.answer) {
    case Answer::Transcript:
        reply = MockHttpReply::json(200, { { "transcript", m_script.transcript } });
        break;
    case Answer::Unauthorized:
        reply.status = 401;
        reply.body = m_script.authBody;
        break;
    case Answer::QuotaExceeded:
        reply = MockHttpReply::json(402, { { "error", "quota exceeded" } });
        break;
    case Answer::ServerError:
        reply = MockHttpReply::json(500, { { "error", "worker fell over" } });
        break;
    case Answer::NoTranscript:
        reply = MockHttpReply::json(200, { { "text", m_script.transcript } });
        break;
    case Answer::Hang:
        reply = MockHttpReply::json(200, { { "transcript", m_script.transcript } });
        reply.delayMs = m_script.hangMs;
        break;
    }
    if (m_script.minutesRemaining) {
        reply.headers.append(std::pair<QByteArray, QByteArray>("X-Minutes-Remaining", *m_script.minutesRemaining));
    }
    return reply;
}

} // namespace murmeli::test
