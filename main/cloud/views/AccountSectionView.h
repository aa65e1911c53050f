#pragma once

#include <functional>
#include <memory>

#include <QCoroTask>
#include <QPointer>
#include <QUrl>

#include "main/ui/widgets/SettingsPage.h"

class QLabel;
class QLineEdit;
class QMessageBox;

namespace murmeli::ui {
class DangerButton;
class SecondaryButton;
class SettingsRow;
}

namespace murmeli::cloud {

class AccountHost;
class AccountSignInSheet;
class AccountSignInSheetModel;
class GiftCardRedemption;
class PlanBillingSectionView;
class PrimaryBrassButton;

/// The Account page of the settings window. Signed out it offers the sign-in sheet; signed in it shows the account
/// (e-mail, balance, plan), refreshes the balance, opens the web dashboard, signs out after asking, and holds the
/// plan group and the gift-code rows. It copies what it shows from the application's mirror at fixed moments (when
/// it is built, after each of its own actions) and never watches the mirror by itself.
class AccountSectionView final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountSectionView)

public:
    /// The account dashboard on the service's web site.
    static constexpr auto dashboardAddress = "https://murmeli.cloud/dashboard";

    /// host may be null: the page then stays signed out and nothing on it can be pressed. openUrl hands an address
    /// to the desktop's browser.
    AccountSectionView(AccountHost* host, std::function<void(const QUrl&)> openUrl, QWidget* parent = nullptr);
    ~AccountSectionView() override;

    /// Copies the application's mirror into the page.
    void syncFromController();
    /// Redeems the trimmed gift code of the field; a field of white space does nothing.
    void triggerRedeem();
    bool canRedeem() const;
    /// Asks "Sign out of murmeli Cloud?" and signs out on "Sign out"; without a host it does nothing.
    void confirmSignOut();
    void openManageSubscription();

    bool signedIn() const { return m_signedIn; }
    const QString& email() const { return m_email; }
    const QString& tier() const { return m_tier; }
    qint64 minutesLeft() const { return m_minutesLeft; }
    bool refreshing() const { return m_refreshing; }
    bool signingOut() const { return m_signingOut; }

    QWidget* signedOutCard() const { return m_signedOutCard; }
    PrimaryBrassButton* signInButton() const { return m_signIn; }
    /// The sheet while it is up.
    AccountSignInSheet* signInSheet() const;
    /// The sign-out question while it is up.
    QMessageBox* signOutAlert() const;
    ui::SettingsRow* accountRow() const { return m_accountRow; }
    QLabel* minutesLabel() const { return m_minutes; }
    ui::SecondaryButton* refreshButton() const { return m_refresh; }
    QLabel* planLabel() const { return m_plan; }
    ui::SecondaryButton* manageButton() const { return m_manage; }
    ui::DangerButton* signOutButton() const { return m_signOut; }
    PlanBillingSectionView* planView() const { return m_planView; }
    QWidget* giftGroup() const { return m_giftGroup; }
    ui::SettingsRow* redeemRow() const { return m_redeemRow; }
    QLineEdit* giftCodeField() const { return m_giftField; }
    ui::SecondaryButton* redeemButton() const { return m_redeem; }
    ui::SettingsRow* buyGiftCardRow() const { return m_buyRow; }

private:
    void addCloudGroup();
    void addGiftGroup();
    void render();
    void renderGift();
    void startRefresh();
    void presentSignInSheet();
    void closeSignInSheet();
    QCoro::Task<> refreshAndSync();
    /// Copies the mirror once work has ended, and clears busy, unless the page has gone meanwhile.
    QCoro::Task<> syncAfter(QCoro::Task<> work, bool AccountSectionView::*busy);

    AccountHost* m_host = nullptr;
    std::function<void(const QUrl&)> m_openUrl;

    bool m_signedIn = false;
    QString m_email;
    QString m_tier;
    qint64 m_minutesLeft = -1;
    bool m_refreshing = false;
    bool m_signingOut = false;
    // Made when the sign-in is first asked for and kept for the page's life; the sheet draws it.
    AccountSignInSheetModel* m_signInModel = nullptr;
    std::unique_ptr<GiftCardRedemption> m_redemption;

    QWidget* m_signedOutCard = nullptr;
    PrimaryBrassButton* m_signIn = nullptr;
    ui::SettingsRow* m_accountRow = nullptr;
    QList<ui::SettingsRow*> m_accountRows;
    QLabel* m_minutes = nullptr;
    ui::SecondaryButton* m_refresh = nullptr;
    QLabel* m_plan = nullptr;
    ui::SecondaryButton* m_manage = nullptr;
    ui::DangerButton* m_signOut = nullptr;
    PlanBillingSectionView* m_planView = nullptr;
    QWidget* m_giftGroup = nullptr;
    ui::SettingsRow* m_redeemRow = nullptr;
    QLineEdit* m_giftField = nullptr;
    ui::SecondaryButton* m_redeem = nullptr;
    ui::SettingsRow* m_buyRow = nullptr;
    QPointer<AccountSignInSheet> m_sheet;
    QPointer<QMessageBox> m_alert;
};

} // namespace murmeli::cloud
