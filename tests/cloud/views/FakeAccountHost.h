#pragma once

#include <QNetworkAccessManager>

#include "main/cloud/account/AccountHost.h"
#include "tests/support/FakeClock.h"

namespace murmeli::test {

/// The application as the account pages reach it, with a mirror the test sets. Requests to the service go to a port
/// where nothing answers.
class FakeAccountHost final : public cloud::AccountHost {
public:
    FakeAccountHost()
        : m_http(std::make_shared<cloud::CloudHttpClient>(m_network, m_clock)),
          m_auth(m_http, QStringLiteral("http://127.0.0.1:9"))
    {
    }

    cloud::AccountMirror mirror() const override { return account; }
    QString sessionToken() const override { return token; }
    bool hasStoredSession() const override { return stored; }
    QCoro::Task<> refreshMinutes() override
    {
        ++refreshes;
        co_return;
    }
    QCoro::Task<> signOut() override { co_return; }
    QCoro::Task<cloud::BillingFlowResult> startTopUp() override { co_return cloud::BillingFlowResult::timeout(); }
    cloud::CloudAuth auth() const override { return m_auth; }
    void attach(cloud::AccountSignInSheetModel&) override { }
    cloud::GiftCardClient giftCardClient() const override { return cloud::GiftCardClient(m_http, m_auth.baseURL()); }
    common::Clock& clock() override { return m_clock; }

    cloud::AccountMirror account;
    QString token;
    bool stored = false;
    int refreshes = 0;

private:
    QNetworkAccessManager m_network;
    FakeClock m_clock;
    std::shared_ptr<cloud::CloudHttpClient> m_http;
    cloud::CloudAuth m_auth;
};

} // namespace murmeli::test
