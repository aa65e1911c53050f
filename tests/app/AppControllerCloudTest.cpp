#include <gtest/gtest.h>

#include <QJsonObject>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/cloud/account/AccountSignInSheetModel.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockTranscribeRoute.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::MockAccountService;

namespace {

QStringList g_qtMessages;

void keepQtMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_qtMessages.append(message);
}

/// Controllers over one home: the file secret store in it, the account service on the loopback, a fake clock.
class AppControllerCloudTest : public ::testing::Test {
protected:
    QTemporaryDir m_home;
    test::MockCloudWorker m_worker;
    MockAccountService m_service { m_worker };
    std::shared_ptr<test::FakeClock> m_clock = std::make_shared<test::FakeClock>();
    QStringList m_log;
    QList<QUrl> m_opened;
    QtMessageHandler m_previousHandler = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        ASSERT_TRUE(m_worker.start());
        g_qtMessages.clear();
        m_previousHandler = qInstallMessageHandler(keepQtMessage);
    }
    void TearDown() override { qInstallMessageHandler(m_previousHandler); }

    std::shared_ptr<platform::FileSecretStore> secrets() const
    {
        return std::make_shared<platform::FileSecretStore>(
            m_home.path() + QStringLiteral("/.local/share/murmeli/secrets"));
    }

    /// A controller as a fresh run makes it: its own secret store object over the same directory.
    std::unique_ptr<app::AppController> newController()
    {
        app::AppController::Dependencies dependencies = test::controllerDependencies(m_home, secrets(), m_clock);
        dependencies.cloudBaseURL = m_worker.baseUrl();
        dependencies.openURL = [this](const QUrl& address) { m_opened.append(address); };
        auto controller = std::make_unique<app::AppController>(dependencies);
        // The batch upload keeps the streaming session (and its socket) out of these runs.
        controller->speech().setActiveBackendId(QStringLiteral("murmeli-cloud"));
        controller->speech().setPreferStreaming(false);
        controller->onLog = [this](const QString& message, common::LogColor) { m_log.append(message); };
        return controller;
    }

    QString stored(const char* account) const
    {
        return platform::KeychainStore(secrets()).load(
            QString::fromLatin1(platform::KeychainStore::cloudService), QString::fromLatin1(account));
    }
};

TEST_F(AppControllerCloudTest, SignInSurvivesARestartAndSignOutForgetsItEvenWhenTheServiceFails)
{
    const QString token = QString::fromLatin1(MockAccountService::sessionToken);
    {
        auto controller = newController();
        int stateChanges = 0;
        test::ControllerProbe::observeCloudChanges(*controller, [&stateChanges] { ++stateChanges; });
        cloud::AccountSignInSheetModel sheet(controller->cloudAccount().auth(), *m_clock);
        controller->cloudAccount().attach(sheet);
        bool dismissed = false;
        sheet.onDismiss = [&dismissed] { dismissed = true; };

        sheet.setEmail(QStringLiteral(" dev@example.org "));
        QCoro::waitFor(sheet.sendCode());
        sheet.setCode(QStringLiteral("123456"));
        QCoro::waitFor(sheet.verify());
        EXPECT_TRUE(dismissed);
        EXPECT_EQ(stored("session-token"), token);
        EXPECT_EQ(stored("account-email"), "dev@example.org");
        EXPECT_EQ(controller->speech().cloudToken(), token);
        EXPECT_EQ(controller->cloudAccount().mirror().email, "dev@example.org");
        EXPECT_EQ(controller->cloudAccount().mirror().minutesLeft, 120) << "the balance of the code check";

        // The sheet started the refresh; the account record fills the rest of the mirror.
        ASSERT_TRUE(test::waitUntil([&] { return controller->cloudAccount().mirror().tier == "pay-go"; }));
        EXPECT_EQ(controller->cloudAccount().mirror().minutesLeft, 558);
        EXPECT_EQ(controller->vm().cloudMinutesLeft(), 558);
        EXPECT_EQ(controller->vm().cloudEmail(), "dev@example.org");
        EXPECT_EQ(controller->vm().cloudQuotaMinutes(), 600);
        EXPECT_EQ(controller->vm().cloudMonthResetAt(), 1'800'086'400);
        EXPECT_GE(stateChanges, 2);
    }

    auto restarted = newController();
    EXPECT_EQ(restarted->cloudAccount().mirror().email, "");
    EXPECT_EQ(restarted->speech().cloudToken(), "");
    QCoro::waitFor(restarted->cloudAccount().validateOnLaunch());
    EXPECT_EQ(restarted->speech().cloudToken(), token);
    EXPECT_EQ(restarted->cloudAccount().mirror().email, "dev@example.org");
    EXPECT_EQ(restarted->cloudAccount().mirror().tier, "pay-go");
    EXPECT_EQ(restarted->vm().cloudMinutesLeft(), 558);
    const auto reads = m_service.requests(QString::fromLatin1(MockAccountService::accountPath));
    ASSERT_GE(reads.size(), 3u) << "the first run's refresh, the check and the refresh after it";
    EXPECT_EQ(reads.back().bearerToken(), token);

    m_service.script(QString::fromLatin1(MockAccountService::logoutPath), MockAccountService::error(500, "db"));
    QCoro::waitFor(restarted->cloudAccount().signOut());
    EXPECT_EQ(m_service.requests(QString::fromLatin1(MockAccountService::logoutPath)).back().bearerToken(), token);
    EXPECT_TRUE(m_log.contains(QStringLiteral("Cloud: logout request failed — Server error (500).")));
    EXPECT_EQ(stored("session-token"), "");
    EXPECT_EQ(stored("account-email"), "");
    EXPECT_EQ(restarted->speech().cloudToken(), "");
    EXPECT_EQ(restarted->cloudAccount().mirror(), app::CloudAccount::Mirror {});
    EXPECT_EQ(restarted->vm().cloudEmail(), "");
    EXPECT_EQ(restarted->vm().cloudTier(), "");
    EXPECT_EQ(restarted->vm().cloudMinutesLeft(), -1);
    EXPECT_EQ(restarted->vm().cloudMinutesUsed(), -1);
    EXPECT_EQ(restarted->vm().cloudQuotaMinutes(), 0);
    EXPECT_EQ(restarted->speech().activeBackendId(), "apple-stt") << "the cloud backends need a session";

    for (const QString& line : m_log + g_qtMessages) {
        EXPECT_FALSE(line.contains(token)) << line.toStdString();
    }
}

TEST_F(AppControllerCloudTest, LaunchCheckActsOnTheServicesAnswer)
{
    const QString token = QString::fromLatin1(MockAccountService::sessionToken);
    platform::KeychainStore keychain(secrets());
    const QString service = QString::fromLatin1(platform::KeychainStore::cloudService);
    keychain.save(service, QStringLiteral("session-token"), token);
    keychain.save(service, QStringLiteral("account-email"), QStringLiteral("kept@example.org"));
    auto controller = newController();
    controller->startBackend(QString());
    EXPECT_EQ(controller->speech().cloudToken(), token) << "the start-up loads the stored session";
    EXPECT_EQ(controller->cloudAccount().mirror().email, "kept@example.org");

    m_service.queue(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::status(503));
    QCoro::waitFor(controller->cloudAccount().validateOnLaunch());
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("Cloud: session check failed, keeping the stored session — Server error (503).")));
    EXPECT_EQ(stored("session-token"), token);
    EXPECT_EQ(controller->speech().cloudToken(), token);

    // A record without an e-mail leaves the known one alone.
    QJsonObject anonymous = MockAccountService::accountRecord();
    anonymous.remove(QStringLiteral("email"));
    m_service.queue(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::ok(anonymous));
    QCoro::waitFor(controller->cloudAccount().refreshMinutes());
    EXPECT_EQ(controller->cloudAccount().mirror().email, "kept@example.org");
    EXPECT_EQ(stored("account-email"), "kept@example.org");

    m_service.queue(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::status(401));
    QCoro::waitFor(controller->cloudAccount().validateOnLaunch());
    EXPECT_EQ(stored("session-token"), "");
    EXPECT_EQ(stored("account-email"), "");
    EXPECT_EQ(controller->speech().cloudToken(), "") << "a refused token is not used any further";
    EXPECT_EQ(controller->cloudAccount().mirror(), app::CloudAccount::Mirror {});
    EXPECT_TRUE(m_log.contains(QStringLiteral("Cloud: session expired — please sign in again")));
}

TEST_F(AppControllerCloudTest, TopUpNeedsASessionAndOpensTheCheckoutPage)
{
    auto controller = newController();
    EXPECT_EQ(
        QCoro::waitFor(controller->cloudAccount().startTopUp()), cloud::BillingFlowResult::failed("Sign in first."));

    controller->cloudAccount().signIn(QStringLiteral("dev@example.org"), QStringLiteral("tok-2"), 10);
    const auto result = test::keepResult(controller->cloudAccount().startTopUp());
    ASSERT_TRUE(test::waitUntil([&] { return !m_opened.isEmpty(); }));
    EXPECT_EQ(m_opened.front(), QUrl(QString::fromLatin1(MockAccountService::checkoutUrl)));

    QJsonObject bought = MockAccountService::accountRecord();
    bought["minutes_left"] = 618;
    m_service.script(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::ok(bought));
    m_clock->advance(5000);
    ASSERT_TRUE(test::waitUntil([&] { return result->has_value(); }));
    EXPECT_EQ(**result, cloud::BillingFlowResult::success());
}

TEST_F(AppControllerCloudTest, WhatATakeLearnsOfTheAccountReachesTheMirror)
{
    test::MockTranscribeRoute upload(m_worker);
    auto controller = newController();
    controller->speech().setCloudWorkerURL(m_worker.baseUrl());
    controller->cloudAccount().signIn(QStringLiteral("dev@example.org"), QStringLiteral("tok-3"), 10);
    int stateChanges = 0;
    test::ControllerProbe::observeCloudChanges(*controller, [&stateChanges] { ++stateChanges; });
    QStringList results;
    controller->speech().onResult = [&results](const QString& text) { results << text; };

    // A transcription's balance header becomes the account's balance, on the panel too.
    controller->speech().transcribePCM(QByteArray(3200, '\x22'));
    ASSERT_TRUE(test::waitUntil([&] { return !results.isEmpty(); }));
    EXPECT_EQ(controller->cloudAccount().mirror().minutesLeft, 37);
    EXPECT_EQ(controller->vm().cloudMinutesLeft(), 37);
    EXPECT_EQ(stateChanges, 1);

    // A refused token is said in the log; the session and its balance stay, as after a refused balance refresh.
    upload.script().answer = test::MockTranscribeRoute::Answer::Unauthorized;
    controller->speech().transcribePCM(QByteArray(3200, '\x22'));
    const QString refused
        = QStringLiteral("Cloud: session refused by the worker (token revoked) — please sign in again");
    ASSERT_TRUE(test::waitUntil([&] { return m_log.contains(refused); })) << m_log.join('\n').toStdString();
    EXPECT_EQ(controller->speech().cloudToken(), "tok-3");
    EXPECT_EQ(controller->cloudAccount().mirror().minutesLeft, 37);
    ASSERT_EQ(upload.uploads().size(), 2u);
    EXPECT_EQ(upload.uploads().back().bearerToken, "tok-3");

    // A balance that arrives after the sign-out belongs to no account.
    QCoro::waitFor(controller->cloudAccount().signOut());
    controller->speech().onCloudMinutesUpdate(12);
    EXPECT_EQ(controller->cloudAccount().mirror().minutesLeft, -1);
    EXPECT_EQ(controller->vm().cloudMinutesLeft(), -1);
}

} // namespace
