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
inline const QByteArray badRequestBody = QByteArrayLiteral("Bad request");
inline const QByteArray forbiddenBody = QByteArrayLiteral("Forbidden");
/// The hook scripts treat any reply but 200 as murmeli being absent, so this is how an event is declined.
inline const QByteArray busyBody = QByteArrayLiteral("Busy");

/// Where the head of a request stands, judged as its bytes arrive.
enum class HeadScan {
    Partial, // no blank line yet
    Whole, // the blank line that ends the head has arrived
    Malformed, // a line ends in a bare LF: no agent sends that, and waiting for CR LF CR LF would only time out
};

/// Where the bytes received so far stand once the head is whole.
enum class Framing {
    Incomplete, // keep reading
    Complete, // the head and the declared body are here; anything after them is not part of the request
    Malformed, // the head is ambiguous (see RequestHead), or its Content-Length is not a non-negative decimal number
    TooLarge, // the declared request can never fit under maxRequestBytes
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
    /// A head that another reader of HTTP could take for other headers or another length than we do: a folded line, a
    /// line that is not a name, a colon and a value, two Content-Lengths that differ, or a Transfer-Encoding (we read
    /// bodies by length alone). No hook sends one; one that tries is answered 400 rather than guessed at.
    bool ambiguous = false;
    std::optional<QString> authorization;
    std::optional<QString> adapter;
    /// The hook scripts' "x-murmeli-agent-process": which process the event is from.
    std::optional<QString> agentProcess;
    /// Only browsers send Origin; the Host tells a page that reached us through a name of its own.
    bool hasOrigin = false;
    std::optional<QByteArray> host;
};

/// Lines end at CR LF; a header matches by its whole name in any case, the first one of a name counts, and its
/// value is trimmed of spaces and tabs.
RequestHead parseHead(QByteArrayView buffer);

/// Looks at buffer from offset from on (the bytes before it were looked at when they arrived).
HeadScan scanHead(QByteArrayView buffer, qsizetype from);

/// head must have been parsed from the start of buffer; the buffer may have grown since.
Framing framingOf(const QByteArray& buffer, const RequestHead& head);

/// The length of the whole request, head and declared body; nullopt while the head is not whole or its
/// Content-Length is unusable.
std::optional<qsizetype> requestLength(const RequestHead& head);

struct Reply {
    int status = 200;
    QByteArray body;
};

struct Delivery {
    QString eventName;
    QByteArray body;
    QString adapter;
    QString agentProcess;

    /// The body as a JSON object (empty unless it is one), with the adapter header stored under "_murmeli_adapter"
    /// and the agent process header under "_murmeli_agent_process".
    QJsonObject payload() const;
};

/// A finished request either earns an immediate reply or becomes an event to deliver.
using Verdict = std::variant<Reply, Delivery>;

/// Runs the request checks in their fixed order (encoding, request line, method, browser origin, bearer, path, event
/// name) on the request at the start of data and its parsed head; bytes past the declared body are ignored. The
/// bearer may be any of secrets (none: no authentication). port is the one the server listens on, which a Host header
/// may name.
Verdict evaluate(const QByteArray& data, const RequestHead& head, const QStringList& secrets, quint16 port);

/// The complete reply as written to the socket.
QByteArray formatReply(int status, const QByteArray& body);

QString reasonPhrase(int status);

/// The value of the first header line (after the request line, before the blank line) whose name matches.
std::optional<QString> extractHeader(const QString& name, const QStringList& lines);

/// With no or an empty secret everything passes; otherwise "Bearer <secret>" must match exactly.
bool isAuthorized(const std::optional<QString>& secret, const std::optional<QString>& bearerHeader);

/// Whether the head's bearer is one of secrets; any head passes when there are none.
bool bearerMatches(const RequestHead& head, const QStringList& secrets);

/// Whether a Host header value names the loopback address or localhost, bare or with the given port.
bool isLocalHost(QByteArrayView host, quint16 port);

/// Compares without stopping at the first difference, so timing reveals only the length.
bool constantTimeEquals(const QString& a, const QString& b);

bool isValidUtf8(const QByteArray& bytes);

} // namespace murmeli::hooks::http
