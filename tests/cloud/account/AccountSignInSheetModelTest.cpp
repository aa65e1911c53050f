#include "main/cloud/account/AccountSignInSheetModel.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"

namespace murmeli::cloud {
namespace {

using Model = AccountSignInSheetModel;
using test::MockAccountService;

TEST(AccountSignInSheetModelRulesTest, EmailCheck)
{
    const QString longLocal = QString(248, QLatin1Char('a'));
    const std::pair<QString, bool> rows[] = {
        { QStringLiteral("a@b.co"), true },
        { QStringLiteral("a@b.c"), false }, // 5 characters
        { QStringLiteral("  a@b.co \n"), true },
        { longLocal + QStringLiteral("@b.com"), true }, // 254
        { longLocal + QStringLiteral("a@b.com"), false }, // 255
        { QStringLiteral("@bb.com"), false },
        { QStringLiteral("a.b@com"), false },
        { QStringLiteral("a@b@c.d"), true },
        { QStringLiteral("a b@c.d."), true },
        // Counted as the user sees them: "é" written as e and a combining accent is one character.
        { QStringLiteral("e\u0301@b.co"), true },
        { QStringLiteral("e\u0301@b.c"), false },
        { QString(), false },
    };
    for (const auto& [text, valid] : rows) {
        EXPECT_EQ(Model::isValidEmail(text), valid) << text.toStdString();
    }
}

TEST(AccountSignInSheetModelRulesTest, ErrorTextsOfTheTwoRequests)
{
    struct Row {
        AuthError error;
        const char* request;
        const char* verify;
    };
    const char* const network = "Network error. Try again.";
    const Row rows[] = {
        { AuthError::rateLimited(30), "Please wait 30s before requesting another code.",
            "Please wait 30s before trying again." },
        { AuthError::rateLimited(std::nullopt), "Too many requests. Please wait a moment and try again.",
            "Too many attempts. Please wait a moment and try again." },
        { AuthError::rateLimited(0), "Too many requests. Please wait a moment and try again.",
            "Too many attempts. Please wait a moment and try again." },
        { AuthError::invalidCode(), network, "Invalid or expired code. Request a new one." },
        { AuthError::server(500), network, network },
        { AuthError::unauthorized(), network, network },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Model::mapRequestError(row.error).toStdString(), row.request) << row.verify;
        EXPECT_EQ(Model::mapVerifyError(row.error).toStdString(), row.verify) << row.request;
    }
}

/// The model against the loopback account service; the cooldown counts on a fake clock.
class AccountSignInSheetModelTest : public ::testing::Test {
protected:
    test::MockCloudWorker m_worker;
    MockAccountService m_service { m_worker };
    QNetworkAccessManager m_network;
    test::FakeClock m_clock;
    std::unique_ptr<Model> m_model;
    std::vector<std::tuple<QString, QString, qint64>> m_signIns;
    int m_refreshes = 0;
    int m_dismissals = 0;

    void SetUp() override
    {
        ASSERT_TRUE(m_worker.start());
        m_model = std::make_unique<Model>(
            CloudAuth(std::make_shared<CloudHttpClient>(m_network, m_clock), m_worker.baseUrl()), m_clock);
        m_model->signIn = [this](const QString& email, const QString& token, qint64 minutes) {
            m_signIns.emplace_back(email, token, minutes);
        };
        m_model->refreshBalance = [this]() -> QCoro::Task<> {
            ++m_refreshes;
            co_return;
        };
        m_model->onDismiss = [this] { ++m_dismissals; };
    }

    std::vector<test::MockHttpRequest> sent(const char* path) const
    {
        return m_service.requests(QString::fromLatin1(path));
    }
    QJsonObject lastBody(const char* path) const { return QJsonDocument::fromJson(sent(path).back().body).object(); }

    void reachCodeStep()
    {
        m_model->setEmail(QStringLiteral("dev@example.org"));
        QCoro::waitFor(m_model->sendCode());
        ASSERT_EQ(m_model->step(), Model::Step::Code);
    }
};

TEST_F(AccountSignInSheetModelTest, CodeRequestWithATrimmedAddress)
{
    m_model->setEmail(QStringLiteral("nope@x"));
    QCoro::waitFor(m_model->sendCode());
    EXPECT_EQ(m_model->errorText(), "Please enter a valid email address.");
    EXPECT_EQ(m_model->email(), "nope@x");
    EXPECT_TRUE(sent(MockAccountService::requestCodePath).empty());

    m_service.queue(QString::fromLatin1(MockAccountService::requestCodePath),
        MockAccountService::tooMany(QByteArray("30"), std::nullopt));
    m_model->setEmail(QStringLiteral("  dev@example.org\n"));
    QCoro::waitFor(m_model->sendCode());
    EXPECT_EQ(m_model->errorText(), "Please wait 30s before requesting another code.");
    EXPECT_EQ(m_model->step(), Model::Step::Email);
    EXPECT_EQ(m_model->phase(), Model::Phase::Idle);

    EXPECT_TRUE(m_model->canSendCode());
    QCoro::waitFor(m_model->sendCode());
    EXPECT_EQ(lastBody(MockAccountService::requestCodePath).value("email"), "dev@example.org");
    EXPECT_EQ(m_model->email(), "dev@example.org");
    EXPECT_EQ(m_model->step(), Model::Step::Code);
    EXPECT_EQ(m_model->phase(), Model::Phase::Idle);
    EXPECT_EQ(m_model->errorText(), "");
    EXPECT_EQ(m_model->infoText(), "We sent a 6-digit code to dev@example.org. It's valid for 5 minutes.");
    EXPECT_EQ(m_model->code(), "");
    EXPECT_EQ(m_model->cooldownSec(), 60);
    EXPECT_FALSE(m_model->canResendCode());
}

TEST_F(AccountSignInSheetModelTest, CodeIsTrimmedCountedAndSentAsTyped)
{
    reachCodeStep();
    m_model->setCode(QStringLiteral("12345"));
    EXPECT_FALSE(m_model->canVerify());
    QCoro::waitFor(m_model->verify());
    EXPECT_EQ(m_model->errorText(), "Enter the 6-digit code from your email.");
    EXPECT_TRUE(sent(MockAccountService::verifyPath).empty());

    m_model->setCode(QStringLiteral("\t123456\u00a0"));
    EXPECT_TRUE(m_model->canVerify());
    m_model->setPhase(Model::Phase::Sending);
    EXPECT_FALSE(m_model->canVerify()) << "nothing is offered while a request runs";
    EXPECT_FALSE(m_model->canSendCode());
    m_model->setPhase(Model::Phase::Idle);
    m_model->setCode(QStringLiteral("123456\n"));
    EXPECT_FALSE(m_model->canVerify()) << "the button's check leaves line breaks in";

    m_service.queue(QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::status(401));
    m_model->setCode(QStringLiteral(" 123456 "));
    QCoro::waitFor(m_model->verify());
    EXPECT_EQ(lastBody(MockAccountService::verifyPath),
        (QJsonObject { { "email", "dev@example.org" }, { "code", "123456" } }));
    EXPECT_EQ(m_model->errorText(), "Invalid or expired code. Request a new one.");
    EXPECT_EQ(m_model->code(), " 123456 ") << "a wrong code stays in the field";
    EXPECT_EQ(m_model->phase(), Model::Phase::Idle);

    m_service.queue(
        QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::tooMany(std::nullopt, QJsonValue(30)));
    m_model->setCode(QStringLiteral("abcdef"));
    QCoro::waitFor(m_model->verify());
    EXPECT_EQ(lastBody(MockAccountService::verifyPath).value("code"), "abcdef");
    EXPECT_EQ(m_model->errorText(), "Please wait 30s before trying again.");
    EXPECT_TRUE(m_signIns.empty());
    EXPECT_EQ(m_dismissals, 0);
}

TEST_F(AccountSignInSheetModelTest, CheckedCodeSignsInWithTheServicesEmailAndCloses)
{
    reachCodeStep();
    m_service.script(QString::fromLatin1(MockAccountService::verifyPath),
        MockAccountService::ok(
            QJsonObject { { "token", "tok-1" }, { "email", "Owner@Example.org" }, { "minutes_left", 90 } }));
    m_model->setCode(QStringLiteral("123456"));
    QCoro::waitFor(m_model->verify());
    ASSERT_EQ(m_signIns.size(), 1u);
    EXPECT_EQ(
        m_signIns.front(), std::make_tuple(QStringLiteral("Owner@Example.org"), QStringLiteral("tok-1"), qint64(90)));
    EXPECT_EQ(m_refreshes, 1);
    EXPECT_EQ(m_dismissals, 1);
    EXPECT_EQ(m_model->infoText(), "");
    EXPECT_EQ(m_model->code(), "123456");

    // Without a controller the session goes nowhere, but the sheet still closes.
    m_model->signIn = nullptr;
    m_model->refreshBalance = nullptr;
    QCoro::waitFor(m_model->verify());
    EXPECT_EQ(m_signIns.size(), 1u);
    EXPECT_EQ(m_dismissals, 2);
}

TEST_F(AccountSignInSheetModelTest, CooldownCountsDownOnTheClockAndRestartsOnResend)
{
    reachCodeStep();
    m_clock.advance(1000);
    EXPECT_EQ(m_model->cooldownSec(), 59);
    m_model->backToEmail();
    EXPECT_EQ(m_model->step(), Model::Step::Email);
    m_clock.advance(9000);
    EXPECT_EQ(m_model->cooldownSec(), 50) << "going back does not stop the count";
    EXPECT_FALSE(m_model->canResendCode());

    m_model->setEmail(QStringLiteral("other@example.org"));
    QCoro::waitFor(m_model->sendCode());
    EXPECT_EQ(m_model->cooldownSec(), 60);
    EXPECT_EQ(m_clock.pendingTimers(), 1) << "the old count was cancelled";

    m_clock.advance(59'000);
    EXPECT_EQ(m_model->cooldownSec(), 1);
    EXPECT_FALSE(m_model->canResendCode());
    m_clock.advance(1000);
    EXPECT_EQ(m_model->cooldownSec(), 0);
    EXPECT_TRUE(m_model->canResendCode());
    m_clock.advance(1000);
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "the count ends on the tick after it reached 0";

    QCoro::waitFor(m_model->sendCode());
    EXPECT_EQ(m_clock.pendingTimers(), 1);
    m_model.reset();
    EXPECT_EQ(m_clock.pendingTimers(), 0) << "a released model stops its count";
}

} // namespace
} // namespace murmeli::cloud
