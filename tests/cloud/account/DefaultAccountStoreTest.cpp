#include "main/cloud/account/DefaultAccountStore.h"

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTcpServer>

#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"

namespace murmeli::cloud {
namespace {

using test::MockAccountService;

/// The store over a fake secret store, talking to the loopback account service.
class DefaultAccountStoreTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    MockAccountService m_service { m_worker };
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    std::shared_ptr<platform::FakeSecretStore> m_secrets = std::make_shared<platform::FakeSecretStore>();
    platform::KeychainStore m_keychain { m_secrets };
    const QString m_service_name = QString::fromLatin1(platform::KeychainStore::cloudService);

    void SetUp() override { ASSERT_TRUE(m_worker.start()); }

    DefaultAccountStore store(const QString& base = {})
    {
        return DefaultAccountStore(m_keychain,
            CloudAuth(
                std::make_shared<CloudHttpClient>(m_network, m_clock), base.isEmpty() ? m_worker.baseUrl() : base));
    }
    void storeSession(const QString& token, const QString& email)
    {
        m_keychain.save(m_service_name, QStringLiteral("session-token"), token);
        m_keychain.save(m_service_name, QStringLiteral("account-email"), email);
    }
    QString item(const char* account) const { return m_keychain.load(m_service_name, QString::fromLatin1(account)); }
};

TEST_F(DefaultAccountStoreTest, WithoutATokenNothingIsSent)
{
    DefaultAccountStore accounts = store();
    EXPECT_FALSE(accounts.hasStoredToken());
    EXPECT_EQ(QCoro::waitFor(accounts.validateStoredSession()), AccountValidation::signedOut());
    m_keychain.save(m_service_name, QStringLiteral("account-email"), QStringLiteral("left@example.org"));
    QCoro::waitFor(accounts.signOut());
    EXPECT_TRUE(m_worker.requests().empty());
    EXPECT_TRUE(m_secrets->items().empty()) << "sign-out deletes both items, even without a token";
}

TEST_F(DefaultAccountStoreTest, ValidationFollowsTheServiceAnswer)
{
    struct Row {
        const char* name;
        test::MockHttpReply reply;
        AccountValidation expected;
        bool itemsKept;
    };
    const Row rows[] = {
        { "valid", MockAccountService::ok(MockAccountService::accountRecord()),
            AccountValidation::valid(AccountSession { "tok-9", "dev@example.org", 558, "pay-go" }), true },
        { "server error", MockAccountService::error(500, QStringLiteral("boom")),
            AccountValidation::transient(QStringLiteral("Server error (500).")), true },
        { "bad reply", MockAccountService::status(200, "nope"),
            AccountValidation::transient(QStringLiteral("Unexpected response from server.")), true },
        { "refused", MockAccountService::status(401), AccountValidation::unauthorized(), false },
    };
    for (const Row& row : rows) {
        storeSession(QStringLiteral("tok-9"), QStringLiteral("old@example.org"));
        m_service.queue(QString::fromLatin1(MockAccountService::accountPath), row.reply);
        DefaultAccountStore accounts = store();
        EXPECT_EQ(QCoro::waitFor(accounts.validateStoredSession()), row.expected) << row.name;
        EXPECT_EQ(
            m_service.requests(QString::fromLatin1(MockAccountService::accountPath)).back().bearerToken(), "tok-9");
        EXPECT_EQ(accounts.hasStoredToken(), row.itemsKept) << row.name;
        EXPECT_EQ(item("account-email").isEmpty(), !row.itemsKept) << row.name;
    }
}

TEST_F(DefaultAccountStoreTest, ValidRecordUpdatesTheStoredEmailButARecordWithoutOneKeepsIt)
{
    storeSession(QStringLiteral("tok-9"), QStringLiteral("old@example.org"));
    DefaultAccountStore accounts = store();
    QCoro::waitFor(accounts.validateStoredSession());
    EXPECT_EQ(item("account-email"), "dev@example.org");

    m_service.queue(QString::fromLatin1(MockAccountService::accountPath),
        MockAccountService::ok(QJsonObject { { "tier", "free" }, { "minutes_left", 5 } }));
    EXPECT_EQ(QCoro::waitFor(accounts.validateStoredSession()),
        AccountValidation::valid(AccountSession { "tok-9", "dev@example.org", 5, "free" }));
    EXPECT_EQ(item("account-email"), "dev@example.org") << "a record without an e-mail says nothing about it";
}

TEST_F(DefaultAccountStoreTest, TransferFailureIsTransientAndKeepsTheSession)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    storeSession(QStringLiteral("tok-9"), QStringLiteral("old@example.org"));

    const AccountValidation answer = QCoro::waitFor(store(address).validateStoredSession());
    EXPECT_EQ(answer.kind, AccountValidation::Kind::Transient);
    EXPECT_TRUE(answer.message.startsWith(QStringLiteral("Network error: "))) << answer.message.toStdString();
    EXPECT_GT(answer.message.size(), QStringLiteral("Network error: ").size());
    EXPECT_EQ(item("session-token"), "tok-9");
    EXPECT_EQ(item("account-email"), "old@example.org");
}

TEST_F(DefaultAccountStoreTest, VerifiedCodeStoresTheSessionAndAFailedOneStoresNothing)
{
    DefaultAccountStore accounts = store();
    m_service.queue(QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::status(410));
    EXPECT_EQ(std::get<AuthError>(QCoro::waitFor(accounts.verifyCode(QStringLiteral("a@example.org"), "111111"))),
        AuthError::invalidCode());
    EXPECT_TRUE(m_secrets->items().empty());

    m_service.queue(QString::fromLatin1(MockAccountService::verifyPath),
        MockAccountService::ok(QJsonObject { { "token", "tok-new" } }));
    const auto session = QCoro::waitFor(accounts.verifyCode(QStringLiteral("a@example.org"), "222222"));
    EXPECT_EQ(std::get<AccountSession>(session), (AccountSession { "tok-new", "a@example.org", -1, "" }));
    EXPECT_EQ(item("session-token"), "tok-new");
    EXPECT_EQ(item("account-email"), "a@example.org");
}

TEST_F(DefaultAccountStoreTest, SignOutDeletesBothItemsEvenWhenTheLogoutFails)
{
    for (const auto& reply : { MockAccountService::status(204), MockAccountService::error(500, QStringLiteral("x")) }) {
        storeSession(QStringLiteral("tok-9"), QStringLiteral("dev@example.org"));
        m_service.queue(QString::fromLatin1(MockAccountService::logoutPath), reply);
        DefaultAccountStore accounts = store();
        QCoro::waitFor(accounts.signOut());
        EXPECT_EQ(
            m_service.requests(QString::fromLatin1(MockAccountService::logoutPath)).back().bearerToken(), "tok-9");
        EXPECT_TRUE(m_secrets->items().empty()) << reply.status;
    }
}

} // namespace
} // namespace murmeli::cloud
