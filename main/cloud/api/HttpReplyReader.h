#pragma once

#include <optional>
#include <utility>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace murmeli::cloud {

/// Reads one HTTP/1.1 reply from the bytes of its connection as they arrive. It never holds more than its head limit
/// (status line, header fields, trailers) and its body limit, whatever the server sends, and says so the moment
/// either is passed: a declared length over the limit is refused before any of the body is read. Interim 1xx heads
/// are skipped.
class HttpReplyReader final {
public:
    using Header = std::pair<QByteArray, QByteArray>;

    enum class State {
        Reading, ///< more bytes are needed
        Done, ///< the reply is complete
        NotHttp, ///< the peer does not answer in HTTP/1.x
        Oversized, ///< the head or the body ran past its limit
        Broken, ///< unreadable framing (a bad length or chunk line), or the connection ended inside the reply
    };

    /// A chunk-size line, or the line that ends a chunk, longer than this is no framing a server means.
    static constexpr qsizetype maxChunkLineBytes = 1024;

    HttpReplyReader(qint64 maxHeadBytes, qint64 maxBodyBytes);

    /// Takes the next bytes of the connection. Once the state has left Reading, further bytes are ignored.
    State feed(QByteArrayView bytes);
    /// The peer has closed the connection: a body that runs to the close ends here, anything else is Broken.
    State finish();

    State state() const { return m_state; }
    /// The status of the final head.
    int status() const { return m_status; }
    /// The header fields in arrival order; the values of a repeated name are joined with ", " under its first
    /// spelling, as Qt's network replies present them.
    const QList<Header>& headers() const { return m_headers; }
    const QByteArray& body() const { return m_body; }

    /// The value of the first field of that name in headers, compared without case, or nullopt.
    static std::optional<QByteArray> find(const QList<Header>& headers, QByteArrayView name);

private:
    enum class Phase { StatusLine, HeaderLines, LengthBody, BodyToClose, ChunkSize, ChunkData, ChunkEnd, Trailers };

    qsizetype readLine(QByteArrayView bytes);
    qsizetype readBody(QByteArrayView bytes);
    void takeLine(const QByteArray& line);
    void takeStatusLine(const QByteArray& line);
    void takeHeaderLine(const QByteArray& line);
    void startBody();
    void takeChunkSize(const QByteArray& line);
    void addHeader(const QByteArray& name, const QByteArray& value);

    qint64 m_maxHeadBytes;
    qint64 m_maxBodyBytes;
    State m_state = State::Reading;
    Phase m_phase = Phase::StatusLine;
    qint64 m_headBytes = 0; // status lines, header fields and trailers so far, interim heads included
    QByteArray m_line; // the line being read, without its end
    int m_status = 0;
    QList<Header> m_headers;
    QByteArray m_body;
    qint64 m_bodyLeft = 0; // of a declared length or of the current chunk
};

} // namespace murmeli::cloud
