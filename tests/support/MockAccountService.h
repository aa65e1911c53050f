#pragma once

#include <deque>
#include <map>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockHttpMessage.h"

namespace murmeli::test {

/// The cloud account service on the loopback worker: "/auth/request", "/auth/verify", "/auth/logout", "/account",
/// "/billing/checkout" and "/billing/redeem-gift-code". Each path answers with its scripted reply (queued one-off
/// replies first, in order) and every request is kept. It takes "/account" for itself, so it gets a worker of its
/// own rather than sharing one with MockAccountRoute.
class MockAccountService final {
public:
    static constexpr auto requestCodePath = "/auth/request";
    static constexpr auto verifyPath = "/auth/verify";
    static constexpr auto logoutPath = "/auth/logout";
    static constexpr auto accountPath = "/account";
    static constexpr auto checkoutPath = "/billing/checkout";
    static constexpr auto redeemPath = "/billing/redeem-gift-code";

    /// What a fresh service answers: a code is sent, the code check gives sessionToken for the e-mail sent, logout
    /// gives 204, the account is accountRecord(), the checkout page is checkoutUrl, a gift code credits 60 minutes.
    static constexpr auto sessionToken = "tok-7f3a9c";
    static constexpr auto checkoutUrl = "https://checkout.example.org/session/42";
    static QJsonObject accountRecord();

    explicit MockAccountService(MockCloudWorker& worker);

    /// path's answer from now on.
    void script(const QString& path, MockHttpReply reply);
    /// Answers the next request on path once, before the scripted answer takes over again.
    void queue(const QString& path, MockHttpReply reply);
    /// The requests that reached path, oldest first.
    std::vector<MockHttpRequest> requests(const QString& path) const;

    static MockHttpReply ok(const QJsonObject& body) { return MockHttpReply::json(200, body); }
    /// A status with the given raw body (none by default).
    static MockHttpReply status(int status, const QByteArray& body = {});
    /// A failure status whose JSON body names the service's error code.
    static MockHttpReply error(int status, const QString& code);
    /// 429 with the header's raw value (when given) and a body with "retry_after" (when given).
    static MockHttpReply tooMany(
        const std::optional<QByteArray>& retryAfterHeader, const std::optional<QJsonValue>& bodyRetryAfter);
    /// Takes the request and never answers while a test runs.
    static MockHttpReply silent();

private:
    MockHttpReply answer(const QString& path, const MockHttpRequest& request);

    MockCloudWorker& m_worker;
    std::map<QString, MockHttpReply> m_scripts;
    std::map<QString, std::deque<MockHttpReply>> m_queued;
};

} // namespace murmeli::test
