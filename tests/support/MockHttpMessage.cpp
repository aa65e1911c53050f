#include "tests/support/MockHttpMessage.h"

#include <QJsonDocument>
#include <QUrl>

namespace murmeli::test {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 101:
        return "Switching Protocols";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 402:
        return "Payment Required";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 413:
        return "Payload Too Large";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

std::optional<QByteArray> MockHttpRequest::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

QString MockHttpRequest::bearerToken() const
{
    const QByteArray value = header("authorization").value_or(QByteArray());
    return value.startsWith("Bearer ") ? QString::fromUtf8(value.mid(7)) : QString();
}

MockHttpReply MockHttpReply::json(int status, const QJsonObject& body)
{
    MockHttpReply reply;
    reply.status = status;
    reply.headers.append(std::pair<QByteArray, QByteArray>("Content-Type", "application/json"));
    reply.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return reply;
}

std::optional<MockHttpRequest> parseMockRequestHead(const QByteArray& head)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.")) {
        return std::nullopt;
    }
    MockHttpRequest request;
    request.method = requestLine[0];
    const QUrl target(QString::fromLatin1(requestLine[1]));
    request.path = target.path();
    request.query = target.query();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            return std::nullopt;
        }
        request.headers.append(std::pair(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()));
    }
    return request;
}

QByteArray formatMockReply(const MockHttpReply& reply)
{
    QByteArray wire = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [name, value] : reply.headers) {
        wire += name + ": " + value + "\r\n";
    }
    wire += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    return wire + reply.body;
}

} // namespace murmeli::test
