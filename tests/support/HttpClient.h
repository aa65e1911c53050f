#pragma once

#include <QByteArray>
#include <QString>

class QTcpSocket;

namespace murmeli::test {

/// A raw HTTP client on 127.0.0.1 that spins the event loop while it waits, so main-thread work goes on.
class HttpClient final {
public:
    explicit HttpClient(quint16 port);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    bool connected() const;
    void write(const QByteArray& bytes);
    /// Waits until the server closes the connection; returns everything it sent.
    QByteArray readUntilClosed(int timeoutMs = 5000);
    bool closedByServer() const;
    /// Shuts down the sending side only, as a client does that has said all it will say.
    void finishSending();
    void close();

private:
    QTcpSocket* m_socket;
    QByteArray m_received;
};

/// One POST with the given extra header lines; returns the whole reply.
QByteArray postHook(quint16 port, const QString& path, const QByteArray& body, const QByteArray& extraHeaders = {});

QByteArray expectedReply(int status, const QByteArray& reason, const QByteArray& body);

/// Why this test cannot connect as another user (uid and gid 65534) here; empty where it can.
QString whyNoOtherUser();

/// Sends request on one connection to 127.0.0.1:port from a process of another user (see whyNoOtherUser) and returns
/// what came back before the close; the event loop runs meanwhile.
QByteArray exchangeAsOtherUser(quint16 port, const QByteArray& request);

} // namespace murmeli::test
