#include "tests/support/MockWebSocketConnection.h"

#include <algorithm>
#include <utility>

#include <QJsonDocument>
#include <QTcpSocket>
#include <QtEndian>

namespace murmeli::test {

namespace {

constexpr quint8 opContinuation = 0x0;
constexpr quint8 opText = 0x1;
constexpr quint8 opBinary = 0x2;
constexpr quint8 opClose = 0x8;
constexpr quint8 opPing = 0x9;
constexpr quint8 opPong = 0xA;

constexpr qint64 floodChunkBytes = 256 * 1024;
constexpr int endlessFrameBytes = 60000;

QByteArray closePayload(quint16 code)
{
    QByteArray payload(2, '\0');
    qToBigEndian(code, payload.data());
    return payload;
}

/// The head of an unmasked server frame carrying length payload bytes.
QByteArray frameHead(quint8 opcode, bool fin, quint64 length)
{
    QByteArray head;
    head.append(static_cast<char>((fin ? 0x80 : 0x00) | opcode));
    if (length < 126) {
        head.append(static_cast<char>(length));
    } else if (length <= 0xFFFF) {
        head.append(static_cast<char>(126));
        QByteArray bytes(2, '\0');
        qToBigEndian(static_cast<quint16>(length), bytes.data());
        head += bytes;
    } else {
        head.append(static_cast<char>(127));
        QByteArray bytes(8, '\0');
        qToBigEndian(length, bytes.data());
        head += bytes;
    }
    return head;
}

} // namespace

MockWebSocketConnection::MockWebSocketConnection(QTcpSocket* socket, MockHttpRequest request, QObject* parent)
    : QObject(parent), m_socket(socket), m_request(std::move(request))
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &MockWebSocketConnection::readAvailable);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_ended) {
            m_ended = true;
            Q_EMIT ended();
        }
    });
}

MockWebSocketConnection::~MockWebSocketConnection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool MockWebSocketConnection::isOpen() const
{
    return !m_ended && m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

QStringList MockWebSocketConnection::textMessages() const
{
    QStringList texts;
    for (const Frame& frame : m_received) {
        if (frame.kind == Frame::Kind::Text) {
            texts.append(QString::fromUtf8(frame.payload));
        }
    }
    return texts;
}

std::vector<QByteArray> MockWebSocketConnection::binaryMessages() const
{
    std::vector<QByteArray> messages;
    for (const Frame& frame : m_received) {
        if (frame.kind == Frame::Kind::Binary) {
            messages.push_back(frame.payload);
        }
    }
    return messages;
}

int MockWebSocketConnection::pingCount() const
{
    return static_cast<int>(std::count_if(
        m_received.begin(), m_received.end(), [](const Frame& f) { return f.kind == Frame::Kind::Ping; }));
}

std::optional<quint16> MockWebSocketConnection::clientCloseCode() const
{
    for (const Frame& frame : m_received) {
        if (frame.kind == Frame::Kind::Close) {
            return frame.closeCode;
        }
    }
    return std::nullopt;
}

void MockWebSocketConnection::sendText(const QString& text)
{
    writeFrame(opText, text.toUtf8());
}

void MockWebSocketConnection::sendJson(const QJsonObject& object)
{
    writeFrame(opText, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void MockWebSocketConnection::sendBinary(const QByteArray& data)
{
    writeFrame(opBinary, data);
}

void MockWebSocketConnection::close(quint16 code)
{
    if (!m_closeSent) {
        writeFrame(opClose, closePayload(code));
        m_closeSent = true;
    }
}

void MockWebSocketConnection::drop()
{
    if (m_socket) {
        m_socket->abort();
    }
    if (!m_ended) {
        m_ended = true;
        Q_EMIT ended();
    }
}

void MockWebSocketConnection::process(const QByteArray& leftover)
{
    m_buffer += leftover;
    readAvailable();
}

void MockWebSocketConnection::readAvailable()
{
    if (m_socket) {
        m_buffer += m_socket->readAll();
    }
    while (takeFrame()) { }
}

bool MockWebSocketConnection::takeFrame()
{
    if (m_buffer.size() < 2) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uchar*>(m_buffer.constData());
    const bool fin = (bytes[0] & 0x80) != 0;
    const quint8 opcode = bytes[0] & 0x0F;
    const bool masked = (bytes[1] & 0x80) != 0;
    qint64 length = bytes[1] & 0x7F;
    qsizetype offset = 2;
    if (length == 126) {
        if (m_buffer.size() < 4) {
            return false;
        }
        length = qFromBigEndian<quint16>(bytes + 2);
        offset = 4;
    } else if (length == 127) {
        if (m_buffer.size() < 10) {
            return false;
        }
        length = static_cast<qint64>(qFromBigEndian<quint64>(bytes + 2) & 0x7FFFFFFFFFFFFFFFULL);
        offset = 10;
    }
    if (length > maxFrameBytes) {
        protocolError(QStringLiteral("frame of %1 bytes").arg(length));
        return false;
    }
    const qsizetype maskOffset = offset;
    if (masked) {
        offset += 4;
    }
    if (m_buffer.size() < offset + length) {
        return false;
    }
    QByteArray payload = m_buffer.mid(offset, length);
    if (masked) {
        for (qsizetype i = 0; i < payload.size(); ++i) {
            payload[i] = static_cast<char>(payload[i] ^ m_buffer[maskOffset + (i % 4)]);
        }
    } else {
        m_protocolErrors.append(QStringLiteral("unmasked client frame"));
    }
    m_buffer.remove(0, offset + length);
    handleFrame(opcode, fin, payload);
    return m_socket != nullptr && !m_ended;
}

void MockWebSocketConnection::handleFrame(quint8 opcode, bool fin, const QByteArray& payload)
{
    switch (opcode) {
    case opText:
    case opBinary:
    case opContinuation: {
        if (opcode != opContinuation) {
            m_fragmentOpcode = opcode;
            m_fragments.clear();
        }
        m_fragments += payload;
        if (!fin) {
            return;
        }
        const bool text = m_fragmentOpcode == opText;
        const QByteArray message = std::exchange(m_fragments, {});
        m_received.push_back({ text ? Frame::Kind::Text : Frame::Kind::Binary, message, std::nullopt });
        if (text && onText) {
            onText(QString::fromUtf8(message));
        } else if (!text && onBinary) {
            onBinary(message);
        }
        return;
    }
    case opPing:
        m_received.push_back({ Frame::Kind::Ping, payload, std::nullopt });
        if (m_answerPings) {
            writeFrame(opPong, payload);
        }
        if (onPing) {
            onPing();
        }
        return;
    case opPong:
        m_received.push_back({ Frame::Kind::Pong, payload, std::nullopt });
        return;
    case opClose: {
        std::optional<quint16> code;
        if (payload.size() >= 2) {
            code = qFromBigEndian<quint16>(payload.constData());
        }
        m_received.push_back({ Frame::Kind::Close, payload, code });
        // Answer with the same code, then the server closes the TCP connection, as the protocol has it.
        if (!m_closeSent) {
            writeFrame(opClose, code ? closePayload(*code) : QByteArray());
            m_closeSent = true;
        }
        if (m_socket) {
            m_socket->disconnectFromHost();
        }
        return;
    }
    default:
        protocolError(QStringLiteral("unknown opcode %1").arg(opcode));
    }
}

void MockWebSocketConnection::writeFrame(quint8 opcode, const QByteArray& payload)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState || m_closeSent) {
        return;
    }
    m_socket->write(frameHead(opcode, true, static_cast<quint64>(payload.size())) + payload);
}

void MockWebSocketConnection::startFlood(Flood kind)
{
    if (!m_socket || m_flood) {
        return;
    }
    m_flood = kind;
    if (kind == Flood::Pings) {
        // This end stops reading: the client's pongs fill the kernel's buffers, then the client's own.
        disconnect(m_socket, &QTcpSocket::readyRead, this, nullptr);
        m_socket->setReadBufferSize(1);
    }
    connect(m_socket, &QTcpSocket::bytesWritten, this, &MockWebSocketConnection::topUpFlood);
    topUpFlood();
}

void MockWebSocketConnection::topUpFlood()
{
    while (m_flood && m_socket && m_socket->state() == QAbstractSocket::ConnectedState && !m_closeSent
        && m_socket->bytesToWrite() < floodChunkBytes) {
        const QByteArray chunk = nextFloodChunk();
        if (chunk.isEmpty()) {
            m_flood.reset();
            return;
        }
        m_floodedBytes += chunk.size();
        m_socket->write(chunk);
    }
}

QByteArray MockWebSocketConnection::nextFloodChunk()
{
    QByteArray chunk;
    switch (*m_flood) {
    case Flood::OversizeMessage: {
        constexpr qint64 headBytes = 10; // a 64-bit length
        if (m_floodedBytes == 0) {
            chunk = frameHead(opText, true, oversizeMessageBytes);
        }
        const qint64 left = oversizeMessageBytes - std::max<qint64>(0, m_floodedBytes - headBytes);
        chunk += QByteArray(std::min(left, floodChunkBytes), 'a');
        return left > 0 ? chunk : QByteArray();
    }
    case Flood::EndlessMessage:
        while (chunk.size() < floodChunkBytes) {
            chunk += frameHead(
                m_floodedBytes == 0 && chunk.isEmpty() ? opText : opContinuation, false, endlessFrameBytes);
            chunk += QByteArray(endlessFrameBytes, 'a');
        }
        return chunk;
    case Flood::Pings: {
        const QByteArray ping = frameHead(opPing, true, 0);
        return ping.repeated(floodChunkBytes / ping.size());
    }
    }
    return chunk;
}

void MockWebSocketConnection::protocolError(const QString& what)
{
    m_protocolErrors.append(what);
    drop();
}

} // namespace murmeli::test
