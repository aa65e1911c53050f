#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "main/ui/design/Tokens.h"
#include "main/cloud/views/AccountSectionView.h"
#include "main/cloud/views/PlanBillingSectionView.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/cloud/views/ProgressLine.h"
#include "main/cloud/views/TopUpButton.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsRow.h"
#include "tests/cloud/views/FakeAccountHost.h"

using namespace murmeli;
using cloud::AccountSectionView;
using cloud::PlanBillingSectionView;

namespace {

cloud::AccountMirror mirror(const QString& email, const QString& tier, qint64 minutesLeft)
{
    cloud::AccountMirror account;
    account.email = email;
    account.tier = tier;
    account.minutesLeft = minutesLeft;
    return account;
}

// The page signs in through the speech engine's token or the stored item alone, and shows the mirror's e-mail,
// balance and plan in the account card; signed out, only the sign-in card is there.
TEST(AccountSectionViewTest, ShowsTheMirror)
{
    struct Row {
        const char* name;
        const char* token;
        bool stored;
        cloud::AccountMirror account;
        bool signedIn;
        QString label;
        QString minutes;
        QColor minutesColor;
        QString plan;
    };
    const QColor muted = ui::Color::vantorTextMuted;
    const QColor amber = ui::Color::vantorSignalAmber;
    const QColor brass = ui::Color::vantorBrass;
    const Row rows[] = {
        { "signed out", "", false, mirror("", "", -1), false, {}, {}, {}, {} },
        { "stored item only", "", true, mirror("me@example.org", "PAY-GO", 0), true, "me@example.org", "0 mins left",
            amber, "Pay-as-you-go" },
        { "no e-mail yet", "tok", false, mirror("", "pro", -1), true, "Signed in", QString(QChar(0x2014)), muted,
            "Pro" },
        { "one minute", "tok", false, mirror("a@b.co", "", 1), true, "a@b.co", "1 mins left", brass, "Free" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakeAccountHost host;
        host.token = QString::fromLatin1(row.token);
        host.stored = row.stored;
        host.account = row.account;
        AccountSectionView page(&host, {});
        EXPECT_EQ(page.signedIn(), row.signedIn);
        EXPECT_EQ(page.signedOutCard()->isHidden(), row.signedIn);
        EXPECT_EQ(page.accountRow()->isHidden(), !row.signedIn);
        EXPECT_EQ(page.planView()->isHidden(), !row.signedIn);
        EXPECT_EQ(page.giftGroup()->isHidden(), !row.signedIn);
        EXPECT_EQ(host.refreshes, row.signedIn ? 1 : 0) << "a signed-in page reads the account when it appears";
        if (!row.signedIn) {
            EXPECT_TRUE(page.signInButton()->isEnabled());
            continue;
        }
        EXPECT_EQ(page.accountRow()->label(), row.label);
        EXPECT_EQ(page.minutesLabel()->text(), row.minutes);
        EXPECT_EQ(page.minutesLabel()->palette().color(QPalette::WindowText), row.minutesColor);
        EXPECT_EQ(page.planLabel()->text(), row.plan);
    }
}

TEST(AccountSectionViewTest, WithoutAnApplicationNothingCanBePressed)
{
    AccountSectionView page(nullptr, {});
    EXPECT_FALSE(page.signedIn());
    EXPECT_FALSE(page.signedOutCard()->isHidden());
    EXPECT_FALSE(page.signInButton()->isEnabled());
    EXPECT_EQ(page.signInButton()->fillColor(), ui::Color::vantorSurface3);
    QTest::mouseClick(page.signInButton(), Qt::LeftButton);
    EXPECT_EQ(page.signInSheet(), nullptr);
    page.confirmSignOut();
    EXPECT_EQ(page.signOutAlert(), nullptr);
    EXPECT_FALSE(page.canRedeem());
}

// "Manage →" opens the dashboard. A code of spaces cannot be redeemed, by the button or by Return; with the session
// only in the secret store a redemption ends at once in the expired-session line, the code kept for another try.
TEST(AccountSectionViewTest, DashboardAndGiftCodes)
{
    test::FakeAccountHost host;
    host.stored = true;
    QList<QUrl> opened;
    AccountSectionView page(&host, [&opened](const QUrl& url) { opened.append(url); });
    page.show();
    QTest::mouseClick(page.manageButton(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.front(), QUrl(QStringLiteral("https://murmeli.cloud/dashboard")));

    const QString idle = page.redeemRow()->sub().value_or(QString());
    QTest::keyClicks(page.giftCodeField(), QStringLiteral("   "));
    EXPECT_FALSE(page.redeemButton()->isEnabled());
    QTest::keyClick(page.giftCodeField(), Qt::Key_Return);
    EXPECT_EQ(page.redeemRow()->sub(), idle);
    QTest::keyClicks(page.giftCodeField(), QStringLiteral("GIFT-7"));
    EXPECT_TRUE(page.redeemButton()->isEnabled());
    QTest::keyClick(page.giftCodeField(), Qt::Key_Return);
    EXPECT_EQ(page.redeemRow()->sub(), "Session expired. Please sign out and sign in again.");
    EXPECT_EQ(page.giftCodeField()->text(), "   GIFT-7");
}

cloud::AccountMirror usage(
    const QString& tier, qint64 quota, qint64 used, qint64 week, qint64 monthReset, qint64 weekReset)
{
    cloud::AccountMirror account = mirror(QStringLiteral("a@b.co"), tier, 5);
    account.quotaMinutes = quota;
    account.minutesUsed = used;
    account.minutesUsedWeek = week;
    account.monthResetAt = monthReset;
    account.weekResetAt = weekReset;
    return account;
}

// The free layout's lines from the mirror (the reset texts are PlanUsage's, shown when set); pay-go has no lines.
TEST(PlanBillingSectionViewTest, ShowsTheMirror)
{
    test::FakeAccountHost probe;
    const qint64 now = probe.clock().now().toSecsSinceEpoch();
    struct Row {
        const char* name;
        cloud::AccountMirror account;
        bool payAsYouGo;
        const char* caption;
        const char* month;
        double monthFill;
        const char* week;
        bool resetLines;
    };
    const Row rows[] = {
        { "empty tier", usage("", 0, 0, 0, 0, 0), false, "FREE", "0 / 300 min", 0.0, "0 / 80 min", false },
        { "over the cap", usage("free", 120, 350, 20, now + 60, now - 60), false, "FREE", "350 / 300 min", 1.0,
            "20 / 80 min", true },
        { "larger quota", usage("free", 600, 150, 80, 0, 0), false, "FREE", "150 / 600 min", 0.25, "80 / 80 min",
            false },
        { "negatives", usage("pro", -5, -3, -1, 0, 0), false, "PRO", "0 / 300 min", 0.0, "0 / 80 min", false },
        { "pay-go", usage("Pay-Go", 0, 0, 0, 0, 0), true, "", "", 0.0, "", false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::FakeAccountHost host;
        host.account = row.account;
        PlanBillingSectionView plan(&host);
        plan.syncFromController();
        EXPECT_EQ(plan.isPayAsYouGoShown(), row.payAsYouGo);
        EXPECT_TRUE(plan.topUpButton()->isEnabled());
        if (row.payAsYouGo) {
            continue;
        }
        EXPECT_EQ(plan.freeCaption(), QString::fromLatin1(row.caption));
        EXPECT_EQ(plan.monthLine()->countText(), QString::fromLatin1(row.month));
        EXPECT_DOUBLE_EQ(plan.monthLine()->fraction(), row.monthFill);
        EXPECT_EQ(plan.weekLine()->countText(), QString::fromLatin1(row.week));
        EXPECT_EQ(plan.monthLine()->resetText().isEmpty(), !row.resetLines);
        EXPECT_EQ(plan.weekLine()->resetText().isEmpty(), !row.resetLines);
    }

    PlanBillingSectionView alone(nullptr);
    alone.syncFromController();
    EXPECT_FALSE(alone.isPayAsYouGoShown());
    EXPECT_EQ(alone.monthLine()->countText(), "0 / 300 min");
    EXPECT_FALSE(alone.topUpButton()->isEnabled());
}

} // namespace
