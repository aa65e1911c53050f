#include "main/hooks/server/HttpRequest.h"

#include <algorithm>

#include <QJsonDocument>
#include <QJsonParseError>

#include "main/common/TextUtils.h"

namespace murmeli::hooks::http {

namespace {

const QByteArray headerEnd = QByteArrayLiteral("\r\n\r\n");

bool isSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedSpacesAndTabs(QByteArrayView value)
{
    while (!value.isEmpty() && isSpaceOrTab(value.front())) {
        value = value.sliced(1);
    }
    while (!value.isEmpty() && isSpaceOrTab(value.back())) {
        value.chop(1);
    }
    return value;
}

std::variant<qint64, Framing> declaredBodyLength(QByteArrayView value)
{
    if (value.isEmpty()) {
        return Framing::Malformed;
    }
    for (const char c : value) {
        if (c < '0' || c > '9') {
            return Framing::Malformed;
        }
    }
    // Anything this long is far past the cap; avoid overflowing the conversion.
    if (value.size() > 12) {
        return Framing::TooLarge;
    }
    qint64 length = 0;
    for (const char c : value) {
        length = length * 10 + (c - '0');
    }
    return length;
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

RequestHead parseHead(QByteArrayView buffer)
{
    // Works on the bytes: the head is looked at on every request, and text conversions of every line would cost
    // more than the rest of the request.
    RequestHead head;
    QByteArrayView rest = buffer;
    if (const qsizetype end = buffer.indexOf(headerEnd); end >= 0) {
        head.bodyStart = end + headerEnd.size();
        rest = buffer.first(end);
    }
    const qsizetype firstLineEnd = rest.indexOf("\r\n");
    const QByteArrayView requestLine = firstLineEnd < 0 ? rest : rest.first(firstLineEnd);
    int pieces = 0;
    for (qsizetype i = 0; i < requestLine.size() && pieces < 2;) {
        if (requestLine[i] == ' ') {
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < requestLine.size() && requestLine[j] != ' ') {
            ++j;
        }
        const QByteArray piece = requestLine.sliced(i, j - i).toByteArray();
        if (pieces++ == 0) {
            head.method = piece;
        } else {
            head.target = piece;
        }
        i = j;
    }

    // Matching whole names keeps a header such as "X-Content-Length", or a value mentioning one, from deciding
    // how much body we wait for or who is let in.
    bool lengthSeen = false;
    qsizetype start = firstLineEnd < 0 ? rest.size() : firstLineEnd + 2;
    while (start < rest.size()) {
        qsizetype stop = rest.indexOf("\r\n", start);
        if (stop < 0) {
            stop = rest.size();
        }
        const QByteArrayView line = rest.sliced(start, stop - start);
        if (line.isEmpty()) {
            break;
        }
        start = stop + 2;
        // A proxy or another server in front would read such lines differently: it may join a folded line to the
        // header before it, take a name with a space in it for another, or frame the body by the other length or by
        // its chunks, and so see another request than the one we answer.
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || isSpaceOrTab(line.front())) {
            head.ambiguous = true;
            continue;
        }
        const QByteArrayView name = line.first(colon);
        const QByteArrayView value = trimmedSpacesAndTabs(line.sliced(colon + 1));
        if (name.contains(' ') || name.contains('\t') || name.compare("transfer-encoding", Qt::CaseInsensitive) == 0) {
            head.ambiguous = true;
        } else if (name.compare("content-length", Qt::CaseInsensitive) == 0) {
            // Repeated with the same value, as a header joined twice on the way may be, it says nothing new.
            const std::variant<qint64, Framing> length = declaredBodyLength(value);
            if (!lengthSeen) {
                head.bodyLength = length;
                lengthSeen = true;
            } else if (length != head.bodyLength) {
                head.ambiguous = true;
            }
        } else if (!head.authorization && name.compare("authorization", Qt::CaseInsensitive) == 0) {
            head.authorization = QString::fromUtf8(value);
        } else if (!head.adapter && name.compare("x-murmeli-adapter", Qt::CaseInsensitive) == 0) {
            head.adapter = QString::fromUtf8(value);
        } else if (!head.agentProcess && name.compare("x-murmeli-agent-process", Qt::CaseInsensitive) == 0) {
            head.agentProcess = QString::fromUtf8(value);
        } else if (!head.host && name.compare("host", Qt::CaseInsensitive) == 0) {
            head.host = value.toByteArray();
        } else if (name.compare("origin", Qt::CaseInsensitive) == 0) {
            head.hasOrigin = true;
        }
    }
    return head;
}

HeadScan scanHead(QByteArrayView buffer, qsizetype from)
{
    // The blank line may have begun in the bytes looked at before.
    const qsizetype end = buffer.indexOf(headerEnd, std::max<qsizetype>(0, from - 3));
    const QByteArrayView head = end < 0 ? buffer : buffer.first(end + headerEnd.size());
    for (qsizetype i = head.indexOf('\n', from); i >= 0; i = head.indexOf('\n', i + 1)) {
        if (i == 0 || head[i - 1] != '\r') {
            return HeadScan::Malformed;
        }
    }
    return end < 0 ? HeadScan::Partial : HeadScan::Whole;
}

std::optional<qsizetype> requestLength(const RequestHead& head)
{
    const auto* declared = std::get_if<qint64>(&head.bodyLength);
    if (!head.bodyStart || !declared || head.ambiguous) {
        return std::nullopt;
    }
    // The declared length may be absurd; the cap keeps the sum from overflowing.
    return *head.bodyStart + std::min<qint64>(*declared, maxRequestBytes + 1);
}

Framing framingOf(const QByteArray& buffer, const RequestHead& head)
{
    if (!head.bodyStart) {
        return buffer.size() > maxRequestBytes ? Framing::TooLarge : Framing::Incomplete;
    }
    if (head.ambiguous) {
        return Framing::Malformed;
    }
    if (const auto* framing = std::get_if<Framing>(&head.bodyLength)) {
        return *framing;
    }
    // A body that can never fit under the cap is refused now instead of after the client sends it all.
    const qsizetype length = *requestLength(head);
    if (length > maxRequestBytes) {
        return Framing::TooLarge;
    }
    return buffer.size() >= length ? Framing::Complete : Framing::Incomplete;
}

bool isLocalHost(QByteArrayView host, quint16 port)
{
    const qsizetype colon = host.lastIndexOf(':');
    const QByteArrayView name = colon < 0 ? host : host.first(colon);
    if (colon >= 0 && host.sliced(colon + 1) != QByteArray::number(port)) {
        return false;
    }
    return name == "127.0.0.1" || name.compare("localhost", Qt::CaseInsensitive) == 0;
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
            return common::text::trimSpacesAndTabs(line.mid(prefix.size()));
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

bool bearerMatches(const RequestHead& head, const QStringList& secrets)
{
    const auto matches
        = [&](const QString& secret) { return !secret.isEmpty() && isAuthorized(secret, head.authorization); };
    return secrets.isEmpty() || std::any_of(secrets.cbegin(), secrets.cend(), matches);
}

Verdict evaluate(const QByteArray& whole, const RequestHead& head, const QStringList& secrets, quint16 port)
{
    // One request per connection: whatever the client sent after the declared body is not looked at.
    const qsizetype end = requestLength(head).value_or(whole.size());
    const QByteArray data = end < whole.size() ? whole.first(end) : whole;
    if (!isValidUtf8(data) || head.ambiguous) {
        return Reply { 400, badRequestBody };
    }
    if (!head.target || head.method != "POST") {
        return Reply { 405, QByteArrayLiteral("Method not allowed") };
    }
    // A web page can make the browser post here (a simple cross-site POST needs no permission, and a name of the
    // page's own can be made to resolve to 127.0.0.1); it cannot leave out Origin or choose the Host header. Checked
    // before the bearer, since the page never has the secret and must learn nothing from the reply.
    if (head.hasOrigin || (head.host && !isLocalHost(*head.host, port))) {
        return Reply { 403, forbiddenBody };
    }
    if (!bearerMatches(head, secrets)) {
        return Reply { 401, QByteArrayLiteral("{\"error\":\"unauthorized\"}") };
    }
    if (!head.target->startsWith("/hook/")) {
        return Reply { 404, QByteArrayLiteral("Not found") };
    }
    Delivery delivery;
    delivery.eventName = QString::fromUtf8(head.target->sliced(6));
    if (delivery.eventName.isEmpty()) {
        return Reply { 400, QByteArrayLiteral("Missing event type") };
    }
    if (head.bodyStart) {
        delivery.body = data.mid(*head.bodyStart);
    }
    if (head.adapter) {
        delivery.adapter = *head.adapter;
    }
    if (head.agentProcess) {
        delivery.agentProcess = *head.agentProcess;
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
    if (!agentProcess.isEmpty()) {
        object.insert(QStringLiteral("_murmeli_agent_process"), agentProcess);
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
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 413:
        return QStringLiteral("Payload Too Large");
    case 503:
        return QStringLiteral("Service Unavailable");
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
