#include "platform/net/fake/FakeWebSocket.h"

#include <utility>

#include <QPointer>

namespace murmeli::platform {

FakeWebSocket::FakeWebSocket(WebSocketRequest request) : m_request(std::move(request)) { }

WebSocket::State FakeWebSocket::state() const
{
    return m_state;
}

QString FakeWebSocket::errorString() const
{
    return m_error;
}

bool FakeWebSocket::endedForExcess() const
{
    return m_endedForExcess;
}

void FakeWebSocket::sendText(const QString& text, Completion done)
{
    record({ false, text.toUtf8() }, std::move(done));
}

void FakeWebSocket::sendBinary(const QByteArray& data, Completion done)
{
    record({ true, data }, std::move(done));
}

void FakeWebSocket::record(Sent message, Completion done)
{
    if (m_state == State::Closing || m_state == State::Closed) {
        complete(done, QStringLiteral("closed"));
        return;
    }
    m_sent.push_back(std::move(message));
    if (m_state == State::Connecting) {
        m_waitingSends.push_back(std::move(done));
        return;
    }
    complete(done, m_sendError);
}

void FakeWebSocket::ping(Completion done)
{
    ++m_pingCount;
    if (m_state == State::Closing || m_state == State::Closed) {
        complete(done, QStringLiteral("closed"));
        return;
    }
    m_pings.push_back(std::move(done));
}

void FakeWebSocket::close(quint16 code, const QString&)
{
    if (m_state == State::Closed) {
        return;
    }
    m_closeCode = code;
    for (Completion& done : std::exchange(m_waitingSends, {})) {
        complete(done, QStringLiteral("closed"));
    }
    for (Completion& done : std::exchange(m_pings, {})) {
        complete(done, QStringLiteral("closed"));
    }
    setState(State::Closed);
}

QStringList FakeWebSocket::sentTexts() const
{
    QStringList texts;
    for (const Sent& message : m_sent) {
        if (!message.binary) {
            texts.append(QString::fromUtf8(message.data));
        }
    }
    return texts;
}

void FakeWebSocket::acceptHandshake()
{
    if (m_state != State::Connecting) {
        return;
    }
    for (Completion& done : std::exchange(m_waitingSends, {})) {
        complete(done, m_sendError);
    }
    const QPointer<FakeWebSocket> self(this);
    setState(State::Open);
    if (self) {
        Q_EMIT opened();
    }
}

void FakeWebSocket::receiveText(const QString& text)
{
    Q_EMIT textReceived(text);
}

void FakeWebSocket::receiveBinary(const QByteArray& data)
{
    Q_EMIT binaryReceived(data);
}

void FakeWebSocket::fail(const QString& error, bool excess)
{
    if (m_state == State::Closed) {
        return;
    }
    m_error = error;
    m_endedForExcess = excess;
    for (Completion& done : std::exchange(m_waitingSends, {})) {
        complete(done, error);
    }
    for (Completion& done : std::exchange(m_pings, {})) {
        complete(done, error);
    }
    const QPointer<FakeWebSocket> self(this);
    Q_EMIT failed(error);
    if (self) {
        setState(State::Closed);
    }
}

void FakeWebSocket::answerPing(const QString& error)
{
    if (m_pings.empty()) {
        return;
    }
    Completion done = std::move(m_pings.front());
    m_pings.erase(m_pings.begin());
    complete(done, error);
}

void FakeWebSocket::complete(const Completion& done, const QString& error)
{
    if (done) {
        QMetaObject::invokeMethod(
            this, [done, error] { done(error); }, Qt::QueuedConnection);
    }
}

void FakeWebSocket::setState(State state)
{
    if (m_state != state) {
        m_state = state;
        Q_EMIT stateChanged(state);
    }
}

} // namespace murmeli::platform
