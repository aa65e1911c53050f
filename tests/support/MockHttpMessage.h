#pragma once

#include <optional>
#include <utility>

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace murmeli::test {

/// One HTTP request as the mock cloud worker read it; a WebSocket's opening request too.
struct MockHttpRequest final {
    QByteArray method;
    QString path; // without the query
    QString query;
    QList<std::pair<QByteArray, QByteArray>> headers; // names in lower case, in arrival order
    QByteArray body;

    /// The value of the first header of that name (any case), or nullopt.
    std::optional<QByteArray> header(QByteArrayView name) const;
    /// What follows "Bearer " in the Authorization header, or "" without one.
    QString bearerToken() const;
};

/// The mock's answer to one HTTP request (or to an upgrade it refuses).
struct MockHttpReply final {
    int status = 200;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
    /// The reply is written this long after the request was read.
    int delayMs = 0;
    /// No reply at all: the connection is dropped, as a worker that falls over does.
    bool dropConnection = false;

    static MockHttpReply json(int status, const QJsonObject& body);
};

/// Reads one request head: request line and header lines, up to the blank line (which head must not hold).
std::optional<MockHttpRequest> parseMockRequestHead(const QByteArray& head);

/// The whole reply as written on the wire, with Content-Length and Connection: close.
QByteArray formatMockReply(const MockHttpReply& reply);

} // namespace murmeli::test
