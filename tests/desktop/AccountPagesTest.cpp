#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "main/cloud/views/AccountSignInSheet.h"
#include "main/cloud/views/PlanBillingSectionView.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/cloud/views/TopUpButton.h"
#include "main/settings/views/widgets/KitButton.h"
#include "main/settings/views/widgets/SettingsRow.h"
#include "tests/desktop/AccountDesktop.h"

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

class AccountPagesTest : public test::AccountDesktopTest { };

} // namespace

// The whole account road on real windows: the sheet signs in with an e-mail and a code, a gift code raises the
// balance, a top-up opens the checkout page and ends when the service shows the purchase, and sign-out asks first.
TEST_F(AccountPagesTest, SignInRedeemTopUpAndSignOut)
{
    test::AccountDesktop& desktop = *m_desktop;
    cloud::AccountSectionView* page = m_page;
    EXPECT_FALSE(page->signedIn());
    EXPECT_TRUE(page->signedOutCard()->isVisible());

    click(page->signInButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signInSheet() && page->signInSheet()->isVisible(); }));
    cloud::AccountSignInSheet* sheet = page->signInSheet();
    EXPECT_EQ(sheet->width(), cloud::AccountSignInSheet::fixedWidth);
    EXPECT_FALSE(sheet->primaryButton()->isEnabled());
    QTest::keyClicks(sheet->emailField(), QStringLiteral(" dev@example.org"));
    click(sheet->primaryButton());
    ASSERT_TRUE(test::waitUntil([&] { return sheet->isCodeStepShown(); }));
    ASSERT_EQ(desktop.requests(MockAccountService::requestCodePath), 1u);
    EXPECT_EQ(QJsonDocument::fromJson(desktop.service.requests(QStringLiteral("/auth/request")).front().body)
                  .object()
                  .value(QStringLiteral("email")),
        QStringLiteral("dev@example.org"));
    EXPECT_EQ(sheet->infoText(), "We sent a 6-digit code to dev@example.org. It's valid for 5 minutes.");
    EXPECT_EQ(sheet->resendLink()->text(), "Resend in 60s");
    QTest::keyClicks(sheet->codeField(), QStringLiteral("123456"));
    click(sheet->primaryButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signInSheet() == nullptr && page->signedIn(); }));
    EXPECT_EQ(page->accountRow()->label(), "dev@example.org");
    EXPECT_EQ(page->minutesLabel()->text(), "120 mins left") << "the code check's balance";
    EXPECT_TRUE(page->planView()->isVisible());

    // The sheet started a refresh; the page shows the account record on its next read.
    app::AppController& controller = desktop.murmeli->controller;
    ASSERT_TRUE(test::waitUntil([&] { return controller.cloudTier() == "pay-go"; }));
    click(page->refreshButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "558 mins left"; }));
    EXPECT_EQ(page->planLabel()->text(), "Pay-as-you-go");
    EXPECT_TRUE(page->planView()->isPayAsYouGoShown());

    // The service credits the code: the balance shown rises with it.
    desktop.scriptAccount({ { "minutes_left", 618 } });
    QTest::keyClicks(page->giftCodeField(), QStringLiteral(" GIFT-42 "));
    click(page->redeemButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->minutesLabel()->text() == "618 mins left"; }));
    EXPECT_EQ(page->redeemRow()->sub(), "Redeemed · +60 min added. Refreshing balance…");
    EXPECT_EQ(page->giftCodeField()->text(), "");
    const auto redeemed = desktop.service.requests(QString::fromLatin1(MockAccountService::redeemPath));
    ASSERT_EQ(redeemed.size(), 1u);
    EXPECT_EQ(QJsonDocument::fromJson(redeemed.front().body).object().value(QStringLiteral("code")), "GIFT-42");
    // The poll's one round: the credit is already there, so it stops.
    const std::size_t readsBefore = desktop.requests(MockAccountService::accountPath);
    desktop.clock->advance(5000);
    ASSERT_TRUE(test::waitUntil([&] { return desktop.requests(MockAccountService::accountPath) == readsBefore + 1; }));

    // A top-up opens the checkout page and polls until the balance changes.
    cloud::PlanBillingSectionView* plan = page->planView();
    click(plan->topUpButton());
    ASSERT_TRUE(test::waitUntil([&] { return !desktop.opened.isEmpty(); }));
    EXPECT_EQ(desktop.opened.front(), QUrl(QString::fromLatin1(MockAccountService::checkoutUrl)));
    EXPECT_TRUE(plan->topUpInFlight());
    EXPECT_EQ(plan->topUpButton()->shownLabel(), "Opening Stripe Checkout… · 跳转 Stripe 支付中");
    desktop.scriptAccount({ { "minutes_left", 1618 } });
    desktop.clock->advance(5000);
    ASSERT_TRUE(test::waitUntil([&] { return !plan->topUpInFlight(); }));
    EXPECT_EQ(plan->topUpError(), "");
    EXPECT_EQ(page->minutesLabel()->text(), "1618 mins left");

    // Sign-out asks first; "Cancel" leaves everything as it was.
    click(page->signOutButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() && page->signOutAlert()->isVisible(); }));
    EXPECT_EQ(page->signOutAlert()->text(), "Sign out of murmeli Cloud?");
    click(alertButton(page->signOutAlert(), QStringLiteral("Cancel")));
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() == nullptr; }));
    EXPECT_TRUE(page->signedIn());
    EXPECT_EQ(desktop.requests(MockAccountService::logoutPath), 0u);

    click(page->signOutButton());
    ASSERT_TRUE(test::waitUntil([&] { return page->signOutAlert() && page->signOutAlert()->isVisible(); }));
    click(alertButton(page->signOutAlert(), QStringLiteral("Sign out")));
    ASSERT_TRUE(test::waitUntil([&] { return !page->signedIn(); }));
    EXPECT_TRUE(page->signedOutCard()->isVisible());
    EXPECT_FALSE(page->planView()->isVisible());
    EXPECT_EQ(desktop.requests(MockAccountService::logoutPath), 1u);
    EXPECT_EQ(controller.speech().cloudToken(), "");
}
