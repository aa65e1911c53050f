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

/// What the head of a request says: the bytes before its first blank line, or the whole buffer while that line has
/// not arrived. Parsed once per request; framing and the request checks both read it.
struct RequestHead {
    /// Offset of the first body byte, just past the blank line; nullopt while the blank line has not arrived.
    std::optional<qsizetype> bodyStart;
    /// The first two pieces of the request line split at spaces; target is nullopt when there are fewer than two.
    QByteArray method;
    std::optional<QByteArray> target;
    /// From the first header named Content-Length: its value, or why it cannot be used; 0 without one.
    std::variant<qint64, Framing> bodyLength = qint64 { 0 };
    std::optional<QString> authorization;
    std::optional<QString> adapter;
};

/// Lines end at CR LF; a header matches by its whole name in any case, the first one of a name counts, and its
/// value is trimmed of spaces and tabs.
RequestHead parseHead(QByteArrayView buffer);

/// head must have been parsed from the start of buffer; the buffer may have grown since.
Framing framingOf(const QByteArray& buffer, const RequestHead& head);

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

/// Runs the request checks in their fixed order (encoding, request line, method, bearer, path, event name) on data
/// and its parsed head.
Verdict evaluate(const QByteArray& data, const RequestHead& head, const std::optional<QString>& secret);

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
