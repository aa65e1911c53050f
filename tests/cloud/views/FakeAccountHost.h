#pragma once

#include <optional>

#include <QNetworkAccessManager>

#include "main/cloud/account/AccountHost.h"
#include "main/cloud/account/AccountSignInSheetModel.h"
#include "main/common/OneShot.h"
#include "tests/support/FakeClock.h"

namespace murmeli::test {

/// The application as the account pages reach it: a mirror the test sets, a refresh that takes the next mirror the
/// test gave, a top-up that ends when the test says, and requests to the service at baseURL.
class FakeAccountHost final : public cloud::AccountHost {
public:
    explicit FakeAccountHost(const QString& baseURL = QStringLiteral("http://127.0.0.1:9"))
        : m_http(std::make_shared<cloud::CloudHttpClient>(m_network, m_clock)), m_auth(m_http, baseURL)
    {
    }

    cloud::AccountMirror mirror() const override { return account; }
    QString sessionToken() const override { return token; }
    bool hasStoredSession() const override { return stored; }
    QCoro::Task<> refreshMinutes() override
    {
        ++refreshes;
        if (afterRefresh) {
            account = *afterRefresh;
        }
        co_return;
    }
    QCoro::Task<> signOut() override
    {
        ++signOuts;
        token.clear();
        stored = false;
        account = {};
        co_return;
    }
    QCoro::Task<cloud::BillingFlowResult> startTopUp() override
    {
        ++topUps;
        const common::OneShot<cloud::BillingFlowResult> answer = topUpAnswer;
        co_return co_await answer;
    }
    cloud::CloudAuth auth() const override { return m_auth; }
    void attach(cloud::AccountSignInSheetModel& model) override
    {
        model.signIn = [this](const QString& email, const QString& signedInToken, qint64 minutesLeft) {
            token = signedInToken;
            account.email = email;
            account.minutesLeft = minutesLeft;
        };
    }
    cloud::GiftCardClient giftCardClient() const override { return cloud::GiftCardClient(m_http, m_auth.baseURL()); }
    common::Clock& clock() override { return m_clock; }

    FakeClock& fakeClock() { return m_clock; }

    cloud::AccountMirror account;
    QString token;
    bool stored = false;
    std::optional<cloud::AccountMirror> afterRefresh;
    /// What the running top-up ends with; replace it before starting another.
    common::OneShot<cloud::BillingFlowResult> topUpAnswer;
    int refreshes = 0;
    int signOuts = 0;
    int topUps = 0;

private:
    QNetworkAccessManager m_network;
    FakeClock m_clock;
    std::shared_ptr<cloud::CloudHttpClient> m_http;
    cloud::CloudAuth m_auth;
};

} // namespace murmeli::test
