#include "main/hooks/server/HttpRequest.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace murmeli::hooks::http {

namespace {

const QByteArray headerEnd = QByteArrayLiteral("\r\n\r\n");

bool isSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedSpacesAndTabs(QByteArray value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && isSpaceOrTab(value[begin])) {
        ++begin;
    }
    while (end > begin && isSpaceOrTab(value[end - 1])) {
        --end;
    }
    return value.mid(begin, end - begin);
}

QString trimmedSpacesAndTabs(const QString& value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && (value[begin] == QLatin1Char(' ') || value[begin] == QLatin1Char('\t'))) {
        ++begin;
    }
    while (end > begin && (value[end - 1] == QLatin1Char(' ') || value[end - 1] == QLatin1Char('\t'))) {
        --end;
    }
    return value.mid(begin, end - begin);
}

// The declared body length from the header line named exactly "Content-Length" (any case). Matching the
// name rather than a substring keeps a header such as "X-Content-Length" or a value mentioning it from
// deciding how much body we wait for.
std::variant<qint64, Framing> declaredBodyLength(const QByteArray& headerBlock)
{
    const QList<QByteArray> lines = headerBlock.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            continue;
        }
        if (line.left(colon).toLower() != "content-length") {
            continue;
        }
        const QByteArray value = trimmedSpacesAndTabs(line.mid(colon + 1));
        if (value.isEmpty()) {
            return Framing::BadContentLength;
        }
        for (const char c : value) {
            if (c < '0' || c > '9') {
                return Framing::BadContentLength;
            }
        }
        // Anything this long is far past the cap; avoid overflowing the conversion.
        if (value.size() > 12) {
            return Framing::TooLarge;
        }
        return value.toLongLong();
    }
    return qint64 { 0 };
}

// The first header line (before the blank line) whose name matches, ASCII case-insensitively, with its value
// trimmed of spaces and tabs; the same answer as extractHeader() gives on the decoded lines.
std::optional<QString> headerValue(QByteArrayView headers, QByteArrayView lowerName)
{
    qsizetype start = 0;
    while (start < headers.size()) {
        qsizetype stop = headers.indexOf("\r\n", start);
        if (stop < 0) {
            stop = headers.size();
        }
        const QByteArrayView line = headers.sliced(start, stop - start);
        if (line.isEmpty()) {
            break;
        }
        if (line.size() > lowerName.size() && line[lowerName.size()] == ':'
            && line.first(lowerName.size()).compare(lowerName, Qt::CaseInsensitive) == 0) {
            QByteArrayView value = line.sliced(lowerName.size() + 1);
            while (!value.isEmpty() && isSpaceOrTab(value.front())) {
                value = value.sliced(1);
            }
            while (!value.isEmpty() && isSpaceOrTab(value.back())) {
                value.chop(1);
            }
            return QString::fromUtf8(value);
        }
        start = stop + 2;
    }
    return std::nullopt;
}

} // namespace

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra) {
            return false;
        }
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)
            || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            return false;
        }
        p += extra + 1;
    }
    return true;
}

Framing framingOf(const QByteArray& buffer)
{
    if (buffer.size() > maxRequestBytes) {
        return Framing::TooLarge;
    }
    const qsizetype end = buffer.indexOf(headerEnd);
    if (end < 0 || !isValidUtf8(buffer)) {
        return Framing::Incomplete;
    }
    const auto declared = declaredBodyLength(buffer.left(end));
    if (const auto* framing = std::get_if<Framing>(&declared)) {
        return *framing;
    }
    const qint64 expected = std::get<qint64>(declared);
    const qsizetype bodyStart = end + headerEnd.size();
    // A body that can never fit under the cap is refused now instead of after the client sends it all.
    if (bodyStart + expected > maxRequestBytes) {
        return Framing::TooLarge;
    }
    return buffer.size() - bodyStart >= expected ? Framing::Complete : Framing::Incomplete;
}

std::optional<QString> extractHeader(const QString& name, const QStringList& lines)
{
    const QString prefix = name.toLower() + QLatin1Char(':');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString& line = lines[i];
        if (line.isEmpty()) {
            break;
        }
        if (line.toLower().startsWith(prefix)) {
            return trimmedSpacesAndTabs(line.mid(prefix.size()));
        }
    }
    return std::nullopt;
}

bool constantTimeEquals(const QString& a, const QString& b)
{
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    if (x.size() != y.size()) {
        return false;
    }
    unsigned char acc = 0;
    for (qsizetype i = 0; i < x.size(); ++i) {
        acc |= static_cast<unsigned char>(x[i] ^ y[i]);
    }
    return acc == 0;
}

bool isAuthorized(const std::optional<QString>& secret, const std::optional<QString>& bearerHeader)
{
    if (!secret || secret->isEmpty()) {
        return true;
    }
    if (!bearerHeader) {
        return false;
    }
    const QString scheme = QStringLiteral("Bearer ");
    if (!bearerHeader->startsWith(scheme, Qt::CaseSensitive)) {
        return false;
    }
    return constantTimeEquals(bearerHeader->mid(scheme.size()), *secret);
}

Verdict evaluate(const QByteArray& data, const std::optional<QString>& secret)
{
    if (!isValidUtf8(data)) {
        return Reply { 400, QByteArrayLiteral("Bad request") };
    }
    // Work on the bytes of the head: it is checked on every request, and text conversions of every line would
    // cost more than the rest of the request.
    const qsizetype end = data.indexOf(headerEnd);
    const QByteArrayView head = end < 0 ? QByteArrayView(data) : QByteArrayView(data).first(end);
    const qsizetype firstLineEnd = head.indexOf("\r\n");
    const QByteArrayView requestLine = firstLineEnd < 0 ? head : head.first(firstLineEnd);
    const QByteArrayView headers = firstLineEnd < 0 ? QByteArrayView() : head.sliced(firstLineEnd + 2);

    QByteArrayView pieces[2];
    int count = 0;
    for (qsizetype i = 0; i < requestLine.size() && count < 2;) {
        if (requestLine[i] == ' ') {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < requestLine.size() && requestLine[j] != ' ') {
            ++j;
        }
        pieces[count++] = requestLine.sliced(i, j - i);
        i = j;
    }
    if (count < 2 || pieces[0] != "POST") {
        return Reply { 405, QByteArrayLiteral("Method not allowed") };
    }
    if (secret && !secret->isEmpty() && !isAuthorized(secret, headerValue(headers, "authorization"))) {
        return Reply { 401, QByteArrayLiteral("{\"error\":\"unauthorized\"}") };
    }
    if (!pieces[1].startsWith("/hook/")) {
        return Reply { 404, QByteArrayLiteral("Not found") };
    }
    Delivery delivery;
    delivery.eventName = QString::fromUtf8(pieces[1].sliced(6));
    if (delivery.eventName.isEmpty()) {
        return Reply { 400, QByteArrayLiteral("Missing event type") };
    }
    if (end >= 0) {
        delivery.body = data.mid(end + headerEnd.size());
    }
    if (const auto adapter = headerValue(headers, "x-murmeli-adapter")) {
        delivery.adapter = *adapter;
    }
    return delivery;
}

QJsonObject Delivery::payload() const
{
    QJsonObject object;
    if (!body.isEmpty()) {
        QJsonParseError error {};
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        if (error.error == QJsonParseError::NoError && doc.isObject()) {
            object = doc.object();
        }
    }
    if (!adapter.isEmpty()) {
        object.insert(QStringLiteral("_murmeli_adapter"), adapter);
    }
    return object;
}

QString reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QStringLiteral("OK");
    case 400:
        return QStringLiteral("Bad Request");
    case 401:
        return QStringLiteral("Unauthorized");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 413:
        return QStringLiteral("Payload Too Large");
    default:
        return QStringLiteral("Error");
    }
}

QByteArray formatReply(int status, const QByteArray& body)
{
    QByteArray reply;
    reply.reserve(120 + body.size());
    reply += "HTTP/1.1 ";
    reply += QByteArray::number(status);
    reply += ' ';
    reply += reasonPhrase(status).toLatin1();
    reply += "\r\nContent-Type: application/json\r\nContent-Length: ";
    reply += QByteArray::number(body.size());
    reply += "\r\nConnection: close\r\n\r\n";
    reply += body;
    return reply;
}

} // namespace murmeli::hooks::http
