#include <gtest/gtest.h>

#include <memory>

#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "main/cloud/views/AccountSectionView.h"
#include "main/cloud/views/AccountSignInSheet.h"
#include "main/cloud/views/PlanBillingSectionView.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/cloud/views/ProgressLine.h"
#include "main/cloud/views/TopUpButton.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsRow.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/TestDesktop.h"

using namespace murmeli;
using test::MockAccountService;

namespace {

void click(QWidget* widget)
{
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton);
}

QAbstractButton* alertButton(QMessageBox* alert, const QString& text)
{
    for (QAbstractButton* button : alert->buttons()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

/// murmeli launched on the test desktop against the account service on the loopback, its waits on a fake clock and
/// every address it would open in the browser recorded; its settings window shows the Account page, picked in the
/// sidebar with the mouse.
class AccountPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        ASSERT_TRUE(worker.start());
        murmeli = std::make_unique<test::LaunchedMurmeli>([this](app::AppController::Dependencies& dependencies) {
            dependencies.clock = clock;
            dependencies.cloudBaseURL = worker.baseUrl();
            dependencies.openURL = [this](const QUrl& address) { opened.append(address); };
        });
        Q_EMIT murmeli->controller.notifications().showSettings();
        ASSERT_NE(murmeli->views.settingsWindow(), nullptr);
        window = &murmeli->views.settingsWindow()->window();
        ASSERT_TRUE(test::waitUntil([this] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
        settings::SettingsRootView& root = murmeli->views.settingsWindow()->rootView();
        QListWidget& sidebar = *root.sidebar();
        const auto row = settings::currentSettingsSections().indexOf(settings::SettingsSection::Account);
        QTest::mouseClick(sidebar.viewport(), Qt::LeftButton, {},
            sidebar.visualItemRect(sidebar.item(static_cast<int>(row))).center());
        page = qobject_cast<cloud::AccountSectionView*>(root.page());
        ASSERT_NE(page, nullptr);
    }

    /// The account record with changes, as the service answers from now on.
    void scriptAccount(const QJsonObject& changes)
    {
        QJsonObject record = MockAccountService::accountRecord();
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            record[it.key()] = it.value();
        }
        service.script(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::ok(record));
    }
    std::size_t requests(const char* path) const { return service.requests(QString::fromLatin1(path)).size(); }
    /// What the X server shows where the settings window stands, the sheet and the alert over it included.
    QImage grabWindowArea() const
    {
        const QRect area = window->frameGeometry();
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

    test::MockCloudWorker worker;
    MockAccountService service { worker };
    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    QList<QUrl> opened;
    std::unique_ptr<test::LaunchedMurmeli> murmeli;
    QWidget* window = nullptr;
    cloud::AccountSectionView* page = nullptr;
};

} // namespace

// The whole account road on real windows: the sheet signs in with an e-mail and a code, a gift code raises the
// balance, a top-up opens the checkout page and ends when the service shows the purchase, and sign-out asks first.
// On the way the page's states are photographed as the X server shows them (scripts/screenshots).
TEST_F(AccountPagesTest, SignInRedeemTopUpAndSignOut)
{
    const QString folder = test::screenshotFolder();
    QImage shot;
    const auto take = [&](const QString& name) {
        EXPECT_TRUE(test::settleShot([&] { return grabWindowArea(); }, shot)) << name.toStdString();
        EXPECT_TRUE(shot.save(folder + QStringLiteral("/account-%1.png").arg(name)));
    };
    EXPECT_FALSE(page->signedIn());
    EXPECT_TRUE(page->signedOutCard()->isVisible());
    take(QStringLiteral("signed-out"));

    click(page->signInButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signInSheet() && page->signInSheet()->isVisible(); }));
    cloud::AccountSignInSheet* sheet = page->signInSheet();
    EXPECT_EQ(sheet->width(), cloud::AccountSignInSheet::fixedWidth);
    QTest::keyClicks(sheet->emailField(), QStringLiteral(" dev@example.org"));
    click(sheet->primaryButton());
    ASSERT_TRUE(test::waitUntil([&] { return sheet->isCodeStepShown(); }));
    EXPECT_EQ(sheet->infoText(), "We sent a 6-digit code to dev@example.org. It's valid for 5 minutes.");
    QTest::keyClicks(sheet->codeField(), QStringLiteral("12345"));
    take(QStringLiteral("code-step"));
    service.queue(QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::status(401));
    QTest::keyClicks(sheet->codeField(), QStringLiteral("6"));
    click(sheet->primaryButton());
    ASSERT_TRUE(test::waitUntil([&] { return !sheet->errorText().isEmpty(); }));
    EXPECT_EQ(sheet->errorText(), "Invalid or expired code. Request a new one.");
    take(QStringLiteral("error"));

    scriptAccount({ { "tier", "free" }, { "quota_minutes", 300 }, { "minutes_left", 258 } });
    click(sheet->primaryButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signInSheet() == nullptr && page->signedIn(); }));
    EXPECT_EQ(page->accountRow()->label(), "dev@example.org");
    EXPECT_EQ(page->minutesLabel()->text(), "120 mins left") << "the code check's balance";
    EXPECT_TRUE(page->planView()->isVisible());

    // The sheet started a refresh; the page shows the account record on its next read.
    app::AppController& controller = murmeli->controller;
    ASSERT_TRUE(test::waitUntil([&] { return controller.cloudAccount().mirror().tier == "free"; }));
    click(page->refreshButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "258 mins left"; }));
    EXPECT_EQ(page->planView()->monthLine()->countText(), "42 / 300 min");
    take(QStringLiteral("free"));
    scriptAccount({});
    click(page->refreshButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "558 mins left"; }));
    EXPECT_EQ(page->planLabel()->text(), "Pay-as-you-go");
    EXPECT_TRUE(page->planView()->isPayAsYouGoShown());
    take(QStringLiteral("pay-as-you-go"));

    // The service credits the code: the balance shown rises with it.
    scriptAccount({ { "minutes_left", 618 } });
    QTest::keyClicks(page->giftCodeField(), QStringLiteral(" GIFT-42 "));
    click(page->redeemButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "618 mins left"; }));
    EXPECT_EQ(page->redeemRow()->sub(), "Redeemed · +60 min added. Refreshing balance…");
    EXPECT_EQ(page->giftCodeField()->text(), "");
    const auto redeemed = service.requests(QString::fromLatin1(MockAccountService::redeemPath));
    ASSERT_EQ(redeemed.size(), 1u);
    EXPECT_EQ(QJsonDocument::fromJson(redeemed.front().body).object().value(QStringLiteral("code")), "GIFT-42");
    // The poll's one round: the credit is already there, so it stops.
    const std::size_t readsBefore = requests(MockAccountService::accountPath);
    clock->advance(5000);
    ASSERT_TRUE(test::waitUntil([&] { return requests(MockAccountService::accountPath) == readsBefore + 1; }));

    // A refused top-up says why; the next one opens the checkout page and polls until the balance changes.
    cloud::PlanBillingSectionView* plan = page->planView();
    const QString checkout = QString::fromLatin1(MockAccountService::checkoutPath);
    service.queue(checkout, MockAccountService::status(502));
    click(plan->topUpButton());
    ASSERT_TRUE(test::waitUntil([&] { return !plan->topUpInFlight(); }));
    EXPECT_EQ(plan->topUpError(), "Top up unavailable, try again later.");
    take(QStringLiteral("top-up-failed"));
    click(plan->topUpButton());
    EXPECT_EQ(plan->topUpError(), "") << "a new top-up clears the old failure";
    ASSERT_TRUE(test::waitUntil([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened.front(), QUrl(QString::fromLatin1(MockAccountService::checkoutUrl)));
    EXPECT_EQ(plan->topUpButton()->shownLabel(), "Opening Stripe Checkout… · 跳转 Stripe 支付中");
    click(plan->topUpButton());
    scriptAccount({ { "minutes_left", 1618 } });
    clock->advance(5000);
    ASSERT_TRUE(test::waitUntil([&] { return !plan->topUpInFlight(); }));
    EXPECT_EQ(plan->topUpError(), "");
    EXPECT_EQ(page->minutesLabel()->text(), "1618 mins left");
    EXPECT_EQ(requests(MockAccountService::checkoutPath), 2u) << "the click during the top-up started none";

    // Sign-out asks first; "Cancel" leaves everything as it was.
    click(page->signOutButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() && page->signOutAlert()->isVisible(); }));
    EXPECT_EQ(page->signOutAlert()->text(), "Sign out of murmeli Cloud?");
    click(alertButton(page->signOutAlert(), QStringLiteral("Cancel")));
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() == nullptr; }));
    EXPECT_TRUE(page->signedIn());
    EXPECT_EQ(requests(MockAccountService::logoutPath), 0u);

    click(page->signOutButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() && page->signOutAlert()->isVisible(); }));
    click(alertButton(page->signOutAlert(), QStringLiteral("Sign out")));
    ASSERT_TRUE(test::waitUntil([&] { return !page->signedIn(); }));
    EXPECT_TRUE(page->signedOutCard()->isVisible());
    EXPECT_FALSE(page->planView()->isVisible());
    EXPECT_EQ(requests(MockAccountService::logoutPath), 1u);
    EXPECT_EQ(controller.speech().cloudToken(), "");
}
