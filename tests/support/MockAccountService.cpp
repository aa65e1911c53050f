#include "tests/support/MockAccountService.h"

#include <QJsonDocument>

namespace murmeli::test {

namespace {

const char* const allPaths[]
    = { MockAccountService::requestCodePath, MockAccountService::verifyPath, MockAccountService::logoutPath,
          MockAccountService::accountPath, MockAccountService::checkoutPath, MockAccountService::redeemPath };

} // namespace

QJsonObject MockAccountService::accountRecord()
{
    return QJsonObject {
        { "user_id", 314 },
        { "email", "dev@example.org" },
        { "tier", "pay-go" },
        { "quota_minutes", 600 },
        { "quota_minutes_total", 1200 },
        { "minutes_used", 42 },
        { "minutes_used_total", 900 },
        { "minutes_left", 558 },
        { "minutes_used_week", 12 },
        { "month_reset_at", 1'800'086'400 },
        { "week_reset_at", 1'800'172'800 },
        { "created_at", 1'700'000'000 },
    };
}

MockAccountService::MockAccountService(MockCloudWorker& worker) : m_worker(worker)
{
    m_scripts[QString::fromLatin1(requestCodePath)] = ok(QJsonObject { { "ok", true } });
    m_scripts[QString::fromLatin1(logoutPath)] = status(204);
    m_scripts[QString::fromLatin1(accountPath)] = ok(accountRecord());
    m_scripts[QString::fromLatin1(checkoutPath)] = ok(QJsonObject { { "url", checkoutUrl } });
    m_scripts[QString::fromLatin1(redeemPath)]
        = ok(QJsonObject { { "status", "redeemed" }, { "credit_minutes_added", 60 }, { "balance_minutes", 618 } });
    for (const char* path : allPaths) {
        const QString route = QString::fromLatin1(path);
        worker.registerHttpRoute(
            route, [this, route](const MockHttpRequest& request) { return answer(route, request); });
    }
}

void MockAccountService::script(const QString& path, MockHttpReply reply)
{
    m_scripts[path] = std::move(reply);
}

void MockAccountService::queue(const QString& path, MockHttpReply reply)
{
    m_queued[path].push_back(std::move(reply));
}

std::vector<MockHttpRequest> MockAccountService::requests(const QString& path) const
{
    std::vector<MockHttpRequest> matching;
    for (const MockHttpRequest& request : m_worker.requests()) {
        if (request.path == path) {
            matching.push_back(request);
        }
    }
    return matching;
}

MockHttpReply MockAccountService::answer(const QString& path, const MockHttpRequest& request)
{
    if (auto queued = m_queued.find(path); queued != m_queued.end() && !queued->second.empty()) {
        MockHttpReply reply = std::move(queued->second.front());
        queued->second.pop_front();
        return reply;
    }
    if (path == QLatin1String(verifyPath) && !m_scripts.contains(path)) {
        // The session belongs to whoever asked: the reply names the e-mail that was sent.
        const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
        return ok(QJsonObject {
            { "token", sessionToken }, { "email", sent.value("email").toString() }, { "minutes_left", 120 } });
    }
    return m_scripts[path];
}

MockHttpReply MockAccountService::status(int status, const QByteArray& body)
{
    MockHttpReply reply;
    reply.status = status;
    reply.body = body;
    return reply;
}

MockHttpReply MockAccountService::error(int status, const QString& code)
{
    return MockHttpReply::json(status, QJsonObject { { "error", code }, { "message", "scripted failure" } });
}

MockHttpReply MockAccountService::tooMany(
    const std::optional<QByteArray>& retryAfterHeader, const std::optional<QJsonValue>& bodyRetryAfter)
{
    MockHttpReply reply = bodyRetryAfter ? MockHttpReply::json(429, QJsonObject { { "retry_after", *bodyRetryAfter } })
                                         : status(429, "slow down");
    if (retryAfterHeader) {
        reply.headers.append({ "Retry-After", *retryAfterHeader });
    }
    return reply;
}

MockHttpReply MockAccountService::silent()
{
    MockHttpReply reply;
    // A day: far beyond any test, and the clock under test ends the wait long before.
    reply.delayMs = 24 * 60 * 60 * 1000;
    return reply;
}

} // namespace murmeli::test
