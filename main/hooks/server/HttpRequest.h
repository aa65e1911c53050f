#pragma once

#include <optional>
#include <variant>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace murmeli::hooks::http {

/// A whole request may hold this many bytes; one more is refused with 413.
inline constexpr qsizetype maxRequestBytes = 262144;
/// Bytes taken from a socket per read.
inline constexpr qsizetype readChunkBytes = 65536;

inline const QByteArray okBody = QByteArrayLiteral("{\"ok\":true}");

/// Where the bytes received so far stand.
enum class Framing {
    Incomplete, // keep reading
    Complete, // headers and the declared body are here
    BadContentLength, // the Content-Length value is not a non-negative decimal number
    TooLarge, // more than maxRequestBytes arrived, or the declared body can never fit
};

Framing framingOf(const QByteArray& buffer);

struct Reply {
    int status = 200;
    QByteArray body;
};

struct Delivery {
    QString eventName;
    QByteArray body;
    QString adapter;

    /// The body as a JSON object (empty unless it is one), with the adapter header stored under "_murmeli_adapter".
    QJsonObject payload() const;
};

/// A finished request either earns an immediate reply or becomes an event to deliver.
using Verdict = std::variant<Reply, Delivery>;

/// Runs the request checks in their fixed order (encoding, request line, method, bearer, path, event name).
Verdict evaluate(const QByteArray& data, const std::optional<QString>& secret);

/// The complete reply as written to the socket.
QByteArray formatReply(int status, const QByteArray& body);

QString reasonPhrase(int status);

/// The value of the first header line (after the request line, before the blank line) whose name matches.
std::optional<QString> extractHeader(const QString& name, const QStringList& lines);

/// With no or an empty secret everything passes; otherwise "Bearer <secret>" must match exactly.
bool isAuthorized(const std::optional<QString>& secret, const std::optional<QString>& bearerHeader);

/// Compares without stopping at the first difference, so timing reveals only the length.
bool constantTimeEquals(const QString& a, const QString& b);

bool isValidUtf8(const QByteArray& bytes);

} // namespace murmeli::hooks::http
