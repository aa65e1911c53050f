#include "platform/net/qt/QtWebSocket.h"

#include <utility>

#include <QNetworkRequest>
#include <QRegularExpression>
#include <QWebSocket>

namespace murmeli::platform {

namespace {

const QString closedText = QStringLiteral("The connection was closed");

QString mebibytes(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
}

} // namespace

QtWebSocket::QtWebSocket(const WebSocketRequest& request, const QNetworkProxy& proxy)
    : m_socket(new QWebSocket(QString(), QWebSocketProtocol::VersionLatest))
{
    m_socket->setProxy(proxy);
    // Past these QWebSocket closes the connection with 1009 as soon as the frame header or the growing message
    // shows it, rather than buffering whatever the peer announces.
    m_socket->setMaxAllowedIncomingFrameSize(maxIncomingMessageBytes);
    m_socket->setMaxAllowedIncomingMessageSize(maxIncomingMessageBytes);
    // A peer may close with 1009 too, for reasons of its own; only QWebSocket's reader knows that it refused a frame.
    // Asked before QWebSocket opens and listens to it itself, it tells us before QWebSocket closes.
    for (QObject* child : m_socket->children()) {
        if (qstrcmp(child->metaObject()->className(), "QWebSocketDataProcessor") == 0) {
            m_readerHeard = static_cast<bool>(connect(child,
                SIGNAL(errorEncountered(QWebSocketProtocol::CloseCode, QString)), this, SLOT(onReaderRefused())));
        }
    }
    connect(m_socket, &QWebSocket::connected, this, &QtWebSocket::onConnected);
    connect(m_socket, &QWebSocket::disconnected, this, &QtWebSocket::onDisconnected);
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, &QtWebSocket::onSocketError);
    connect(m_socket, &QWebSocket::pong, this, &QtWebSocket::onPong);
    connect(m_socket, &QWebSocket::aboutToClose, this, &QtWebSocket::onAboutToClose);
    connect(m_socket, &QWebSocket::textMessageReceived, this, &QtWebSocket::textReceived);
    connect(m_socket, &QWebSocket::binaryMessageReceived, this, &QtWebSocket::binaryReceived);
    m_handshakeTimer.setSingleShot(true);
    connect(&m_handshakeTimer, &QTimer::timeout, this, &QtWebSocket::onHandshakeTimeout);
    if (request.handshakeTimeoutMs > 0) {
        m_handshakeTimer.start(request.handshakeTimeoutMs);
    }
    // QWebSocket reports a bad address from inside open(); starting on the next turn of the event loop lets the
    // owner connect to our signals first, so that no failure goes unheard.
    QMetaObject::invokeMethod(
        this, [this, request] { start(request); }, Qt::QueuedConnection);
}

QtWebSocket::~QtWebSocket()
{
    if (!m_socket) {
        return;
    }
    disconnect(m_socket, nullptr, this, nullptr);
    if ((m_closedByUs || m_endedForExcess) && m_socket->state() != QAbstractSocket::UnconnectedState) {
        // Our close frame is on its way; the socket goes once the peer has answered it, or after the linger time.
        // It reads nothing more meanwhile: a closed QAbstractSocket stops reading.
        connect(m_socket, &QWebSocket::disconnected, m_socket, &QObject::deleteLater);
        QTimer::singleShot(closingLingerMs, m_socket, &QObject::deleteLater);
        return;
    }
    m_socket->abort();
    // Never deleted at once: we may be running inside one of its own signals.
    m_socket->deleteLater();
}

WebSocket::State QtWebSocket::state() const
{
    return m_state;
}

QString QtWebSocket::errorString() const
{
    return m_error;
}

bool QtWebSocket::endedForExcess() const
{
    return m_endedForExcess;
}

void QtWebSocket::sendText(const QString& text, Completion done)
{
    write({ Outgoing::Kind::Text, text, {}, std::move(done) });
}

void QtWebSocket::sendBinary(const QByteArray& data, Completion done)
{
    write({ Outgoing::Kind::Binary, {}, data, std::move(done) });
}

void QtWebSocket::ping(Completion done)
{
    write({ Outgoing::Kind::Ping, {}, {}, std::move(done) });
}

void QtWebSocket::close(quint16 code, const QString& reason)
{
    if (m_state == State::Closing || m_state == State::Closed) {
        return;
    }
    m_closedByUs = true;
    const QPointer<QtWebSocket> self(this);
    if (m_state == State::Connecting) {
        // No close frame before the handshake has finished: the connection is simply dropped.
        if (m_socket) {
            m_socket->abort();
        }
        if (self) {
            finish({});
        }
        return;
    }
    for (Outgoing& waiting : std::exchange(m_waiting, {})) {
        complete(waiting.done, closedText);
    }
    if (m_socket) {
        m_socket->close(static_cast<QWebSocketProtocol::CloseCode>(code), reason);
    }
    if (self && m_state == State::Open) {
        setState(State::Closing);
    }
}

void QtWebSocket::start(const WebSocketRequest& request)
{
    if (m_state != State::Connecting || !m_socket) {
        return;
    }
    QNetworkRequest opening(request.url);
    for (const auto& [name, value] : request.headers) {
        opening.setRawHeader(name, value);
    }
    m_socket->open(opening);
    // QWebSocket answers the peer's pings inside its own reading and tells no one; its TCP socket, its child, shows
    // when that reading has happened, and so when the pongs it queued must be counted.
    if (auto* transport = m_socket->findChild<QAbstractSocket*>(QString(), Qt::FindDirectChildrenOnly)) {
        connect(transport, &QIODevice::readyRead, this, &QtWebSocket::checkUnsent);
    }
}

void QtWebSocket::onConnected()
{
    if (m_state != State::Connecting) {
        return;
    }
    m_handshakeTimer.stop();
    m_state = State::Open;
    // What waited goes out first, in order, before anyone hears of the open connection and adds to it.
    for (Outgoing& waiting : std::exchange(m_waiting, {})) {
        write(std::move(waiting));
    }
    const QPointer<QtWebSocket> self(this);
    Q_EMIT stateChanged(State::Open);
    if (self) {
        Q_EMIT opened();
    }
}

void QtWebSocket::onDisconnected()
{
    if (m_closedByUs) {
        finish({});
        return;
    }
    if (!m_error.isEmpty()) {
        finish(m_error);
        return;
    }
    // QWebSocket may report the end before the error that caused it.
    if (m_socket && m_socket->error() != QAbstractSocket::UnknownSocketError) {
        finish(describeSocketError());
        return;
    }
    QString error = QStringLiteral("The server closed the connection");
    if (m_socket && m_state == State::Open) {
        error += QStringLiteral(" (close code %1)").arg(static_cast<int>(m_socket->closeCode()));
    }
    finish(error);
}

void QtWebSocket::onSocketError(QAbstractSocket::SocketError)
{
    if (m_state == State::Closed) {
        return;
    }
    m_error = describeSocketError();
    if (m_closedByUs) {
        return;
    }
    finish(m_error);
}

void QtWebSocket::onPong(quint64, const QByteArray& payload)
{
    for (auto it = m_pings.begin(); it != m_pings.end(); ++it) {
        if (it->payload == payload) {
            Completion done = std::move(it->done);
            m_pings.erase(it);
            complete(done, {});
            return;
        }
    }
}

void QtWebSocket::onHandshakeTimeout()
{
    if (m_state != State::Connecting) {
        return;
    }
    m_error = QStringLiteral("The WebSocket handshake did not finish within %1 ms").arg(m_handshakeTimer.interval());
    const QPointer<QWebSocket> socket = m_socket;
    finish(m_error);
    if (socket) {
        socket->abort();
    }
}

void QtWebSocket::onAboutToClose()
{
    // QWebSocket closes on its own with 1009 when a frame or message of the peer oversteps the bounds. A peer that
    // closes with 1009 closes like any other, and its close is reported when the connection ends. Should Qt's reader
    // not be found, every 1009 counts as ours: the bound is ours, and backing off from an overrunning peer is safe.
    if (m_closedByUs || m_state != State::Open || !m_socket
        || m_socket->closeCode() != QWebSocketProtocol::CloseCodeTooMuchData || (m_readerHeard && !m_readerRefused)) {
        return;
    }
    m_endedForExcess = true;
    const QString reason = m_socket->closeReason();
    finish(QStringLiteral("murmeli closed the connection because the server sent too much: a message over %1 "
                          "(close code 1009%2)")
               .arg(mebibytes(maxIncomingMessageBytes), reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
}

void QtWebSocket::onReaderRefused()
{
    m_readerRefused = true;
}

void QtWebSocket::checkUnsent()
{
    if (m_state != State::Open || !m_socket || m_socket->bytesToWrite() <= maxUnsentBytes) {
        return;
    }
    m_endedForExcess = true;
    const QPointer<QWebSocket> socket = m_socket;
    finish(QStringLiteral("murmeli dropped the connection because the server does not read: more than %1 waited to "
                          "be written to it")
               .arg(mebibytes(maxUnsentBytes)));
    // Dropped, not closed: a peer that reads nothing would never take a close frame either.
    if (socket) {
        socket->abort();
    }
}

void QtWebSocket::write(Outgoing outgoing)
{
    if (m_state == State::Connecting) {
        m_waiting.push_back(std::move(outgoing));
        return;
    }
    if (m_state != State::Open || !m_socket) {
        complete(outgoing.done, m_error.isEmpty() ? closedText : m_error);
        return;
    }
    switch (outgoing.kind) {
    case Outgoing::Kind::Ping: {
        const QByteArray payload = QByteArray::number(++m_pingCounter);
        m_pings.push_back({ payload, std::move(outgoing.done) });
        m_socket->ping(payload);
        break;
    }
    case Outgoing::Kind::Text: {
        const qint64 expected = outgoing.text.toUtf8().size();
        const qint64 sent = m_socket->sendTextMessage(outgoing.text);
        complete(outgoing.done, sent == expected ? QString() : QStringLiteral("The text message could not be written"));
        break;
    }
    case Outgoing::Kind::Binary: {
        const qint64 sent = m_socket->sendBinaryMessage(outgoing.data);
        complete(outgoing.done,
            sent == outgoing.data.size() ? QString() : QStringLiteral("The binary message could not be written"));
        break;
    }
    }
    // Checked on the next turn of the event loop: the owner is inside its send and must not hear of the end there.
    if (m_socket && m_socket->bytesToWrite() > maxUnsentBytes) {
        QMetaObject::invokeMethod(this, &QtWebSocket::checkUnsent, Qt::QueuedConnection);
    }
}

void QtWebSocket::finish(const QString& error)
{
    if (m_state == State::Closed) {
        return;
    }
    m_handshakeTimer.stop();
    const QString failure = error.isEmpty() ? closedText : error;
    for (Outgoing& waiting : std::exchange(m_waiting, {})) {
        complete(waiting.done, failure);
    }
    for (PendingPing& ping : std::exchange(m_pings, {})) {
        complete(ping.done, failure);
    }
    if (!error.isEmpty() && !m_closedByUs) {
        m_error = error;
        // The owner may let go of us in its slot; nothing of ours is touched after that.
        const QPointer<QtWebSocket> self(this);
        Q_EMIT failed(error);
        if (!self) {
            return;
        }
    }
    setState(State::Closed);
}

void QtWebSocket::setState(State state)
{
    if (m_state == state) {
        return;
    }
    m_state = state;
    Q_EMIT stateChanged(state);
}

void QtWebSocket::complete(const Completion& done, const QString& error)
{
    if (!done) {
        return;
    }
    QMetaObject::invokeMethod(
        this, [done, error] { done(error); }, Qt::QueuedConnection);
}

QString QtWebSocket::describeSocketError() const
{
    if (!m_socket) {
        return closedText;
    }
    const QString text = m_socket->errorString();
    // QWebSocket words a refused upgrade as a note from its internals; the status is what a reader needs.
    static const QRegularExpression refusedUpgrade(QStringLiteral("status code: (\\d+)(?: \\(([^)]*)\\))?"));
    const QRegularExpressionMatch match = refusedUpgrade.match(text);
    if (match.hasMatch()) {
        const QString reason = match.captured(2).trimmed();
        return QStringLiteral("The server refused the WebSocket upgrade: HTTP %1%2")
            .arg(match.captured(1), reason.isEmpty() ? QString() : QLatin1Char(' ') + reason);
    }
    return text.isEmpty() ? QStringLiteral("The connection failed") : text;
}

} // namespace murmeli::platform
