#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>

#include "main/cloud/views/AccountSignInSheet.h"
#include "main/cloud/views/PlanBillingSectionView.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/cloud/views/TopUpButton.h"
#include "main/settings/views/widgets/KitButton.h"
#include "tests/desktop/AccountDesktop.h"
#include "tests/desktop/Screenshots.h"

using namespace murmeli;
using test::MockAccountService;

namespace {

class AccountScreenshotTest : public test::AccountDesktopTest { };

} // namespace

// The Account page as the X server shows it: signed out, the sheet's code step and its error, the free plan with
// its usage, pay-as-you-go, and a top-up the service refused.
TEST_F(AccountScreenshotTest, AccountPageStates)
{
    test::AccountDesktop& desktop = *m_desktop;
    cloud::AccountSectionView* page = m_page;
    const QString folder = test::screenshotFolder();
    QImage shot;
    const auto take = [&](const QString& name) {
        EXPECT_TRUE(test::settleShot([&] { return desktop.grabWindowArea(); }, shot)) << name.toStdString();
        EXPECT_TRUE(shot.save(folder + QStringLiteral("/account-%1.png").arg(name)));
    };
    take(QStringLiteral("signed-out"));

    QTest::mouseClick(page->signInButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page->signInSheet() && page->signInSheet()->isVisible(); }));
    cloud::AccountSignInSheet* sheet = page->signInSheet();
    QTest::keyClicks(sheet->emailField(), QStringLiteral("dev@example.org"));
    QTest::mouseClick(sheet->primaryButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return sheet->isCodeStepShown(); }));
    QTest::keyClicks(sheet->codeField(), QStringLiteral("12345"));
    take(QStringLiteral("code-step"));

    desktop.service.queue(QString::fromLatin1(MockAccountService::verifyPath), MockAccountService::status(401));
    QTest::keyClicks(sheet->codeField(), QStringLiteral("9"));
    QTest::mouseClick(sheet->primaryButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !sheet->errorText().isEmpty(); }));
    EXPECT_EQ(sheet->errorText(), "Invalid or expired code. Request a new one.");
    take(QStringLiteral("error"));

    desktop.scriptAccount({ { "tier", "free" }, { "quota_minutes", 300 }, { "minutes_left", 258 } });
    QTest::mouseClick(sheet->primaryButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page->signedIn(); }));
    ASSERT_TRUE(test::waitUntil([&] { return desktop.murmeli->controller.cloudTier() == "free"; }));
    QTest::mouseClick(page->refreshButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "258 mins left"; }));
    take(QStringLiteral("free"));

    desktop.scriptAccount({});
    QTest::mouseClick(page->refreshButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "558 mins left"; }));
    take(QStringLiteral("pay-as-you-go"));

    desktop.service.script(QString::fromLatin1(MockAccountService::checkoutPath), MockAccountService::status(502));
    QTest::mouseClick(page->planView()->topUpButton(), Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return !page->planView()->topUpError().isEmpty(); }));
    EXPECT_EQ(page->planView()->topUpError(), "Top up unavailable, try again later.");
    take(QStringLiteral("top-up-failed"));
}
