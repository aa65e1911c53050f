#include "main/cloud/api/CloudHttpClient.h"

#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScopeGuard>

#include <QCoroNetworkReply>

#include "main/common/BoundedReply.h"
#include "main/common/Clock.h"

namespace murmeli::cloud {

std::optional<QByteArray> CloudHttpClient::Reply::header(QByteArrayView name) const
{
    for (const Header& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0) {
            return header.second;
        }
    }
    return std::nullopt;
}

std::optional<QUrl> CloudHttpClient::endpoint(const QString& base, const QString& path)
{
    const QUrl url(base + path, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return std::nullopt;
    }
    return url;
}

CloudHttpClient::CloudHttpClient(QNetworkAccessManager& network, common::Clock& clock)
    : m_network(&network), m_clock(clock)
{
}

QCoro::Task<CloudHttpClient::Outcome> CloudHttpClient::send(Request request)
{
    if (!m_network) {
        co_return Failure { Failure::Kind::Transport, QStringLiteral("No network session.") };
    }
    // Nothing of this client is touched after the first suspension: it may be gone by the time the reply is.
    common::Clock& clock = m_clock;

    QNetworkRequest outgoing(request.url);
    for (const Header& header : request.headers) {
        outgoing.setRawHeader(header.first, header.second);
    }
    // Our own clock bounds the call; Qt's transfer limit would race it with a different error.
    outgoing.setTransferTimeout(0);
    // A custom verb sends exactly the headers given: a plain post() would add a form Content-Type to a bodiless
    // request.
    QPointer<QNetworkReply> reply = request.body ? m_network->sendCustomRequest(outgoing, request.method, *request.body)
                                                 : m_network->sendCustomRequest(outgoing, request.method);
    const auto release = qScopeGuard([reply] {
        if (reply) {
            reply->deleteLater();
        }
    });

    const common::ReplyEnd end = co_await common::awaitBoundedReply(reply, clock, request.timeoutMs, maxReplyBytes);
    switch (end) {
    case common::ReplyEnd::Dropped:
        co_return Failure { Failure::Kind::Transport, QStringLiteral("The request was dropped.") };
    case common::ReplyEnd::TimedOut:
        co_return Failure { Failure::Kind::Transport, QString::fromLatin1(timedOutText) };
    case common::ReplyEnd::Oversized:
        co_return Failure { Failure::Kind::Oversized, QStringLiteral("The reply is too large.") };
    case common::ReplyEnd::Finished:
        break;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError) {
            co_return Failure { Failure::Kind::Transport, reply->errorString() };
        }
        co_return Failure { Failure::Kind::NotHttp, QStringLiteral("The reply is not an HTTP response.") };
    }
    Reply answer;
    answer.status = status.toInt();
    answer.headers = reply->rawHeaderPairs();
    answer.body = reply->readAll();
    co_return answer;
}

} // namespace murmeli::cloud
