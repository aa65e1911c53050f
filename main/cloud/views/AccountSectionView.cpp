#include "main/cloud/views/AccountSectionView.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/cloud/account/AccountHost.h"
#include "main/cloud/account/AccountSignInSheetModel.h"
#include "main/cloud/account/AccountTexts.h"
#include "main/cloud/billing/GiftCardRedemption.h"
#include "main/cloud/views/AccountSignInSheet.h"
#include "main/cloud/views/PlanBillingSectionView.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"
#include "main/ui/widgets/SettingsRow.h"

namespace murmeli::cloud {

namespace {

using ui::KitLabel::make;
using ui::SettingsDesign::withOpacity;

// A row's control made of several widgets side by side.
QWidget* controls(std::initializer_list<QWidget*> widgets, int spacing)
{
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* widget : widgets) {
        layout->addWidget(widget, 0, Qt::AlignVCenter);
    }
    return box;
}

// The hairline between the signed-out card's text and its button row.
class Hairline final : public QWidget {
public:
    explicit Hairline(QWidget* parent) : QWidget(parent)
    {
        setFixedHeight(1);
        setAutoFillBackground(true);
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, withOpacity(ui::Color::vantorTextMuted, 0.06));
        setPalette(palette);
    }
};

QColor balanceColor(qint64 minutesLeft)
{
    switch (AccountTexts::balanceTone(minutesLeft)) {
    case AccountTexts::BalanceTone::Unknown:
        return ui::Color::vantorTextMuted;
    case AccountTexts::BalanceTone::Empty:
        return ui::Color::vantorSignalAmber;
    case AccountTexts::BalanceTone::Positive:
        break;
    }
    return ui::Color::vantorBrass;
}

} // namespace

AccountSectionView::AccountSectionView(AccountHost* host, std::function<void(const QUrl&)> openUrl, QWidget* parent)
    : ui::SettingsPage(QStringLiteral("Account"), std::nullopt, parent), m_host(host),
      m_openUrl(std::move(openUrl))
{
    if (m_host != nullptr) {
        m_redemption = std::make_unique<GiftCardRedemption>(m_host->giftCardClient(), m_host->clock());
        AccountHost* account = m_host;
        m_redemption->sessionToken = [account] { return account->sessionToken(); };
        m_redemption->refreshBalance = [this] { return refreshAndSync(); };
        m_redemption->minutesLeft = [this] { return m_minutesLeft; };
        m_redemption->onChange = [this] { renderGift(); };
    }
    addCloudGroup();
    m_planView = new PlanBillingSectionView(m_host, this);
    m_planView->onTopUpFinished = [this] { syncFromController(); };
    addItem(m_planView);
    addGiftGroup();

    syncFromController();
    if (m_signedIn && m_host != nullptr) {
        [[maybe_unused]] const QCoro::Task<> refreshing = refreshAndSync();
    }
}

AccountSectionView::~AccountSectionView()
{
    // The sheet lives on the window, but it draws this page's model.
    delete m_sheet;
    delete m_alert;
}

AccountSignInSheet* AccountSectionView::signInSheet() const
{
    return m_sheet;
}

QMessageBox* AccountSectionView::signOutAlert() const
{
    return m_alert;
}

void AccountSectionView::addCloudGroup()
{
    ui::SettingsGroupCard* card = addGroup(QStringLiteral("murmeli Cloud"));

    m_signedOutCard = new QWidget;
    m_signedOutCard->setObjectName(QStringLiteral("signedOutCard"));
    auto* outStack = new QVBoxLayout(m_signedOutCard);
    outStack->setContentsMargins(0, 0, 0, 0);
    outStack->setSpacing(0);
    auto* intro = new QVBoxLayout;
    intro->setContentsMargins(ui::SettingsDesign::rowPaddingH, 14, ui::SettingsDesign::rowPaddingH, 14);
    intro->setSpacing(4);
    intro->addWidget(make(QStringLiteral("Sign in to murmeli Cloud"), ui::Faces::fraunces(18, QFont::Normal, true),
        ui::Color::vantorText, m_signedOutCard));
    QLabel* pitch = make(QStringLiteral("Premium streaming STT · ~120ms latency · auto-extracted hotwords. Free tier "
                                        "includes 300 min/month — top up anytime to Pay-as-you-go."),
        ui::Faces::instrumentSans(12, QFont::Normal), ui::Color::vantorTextMuted, m_signedOutCard);
    pitch->setWordWrap(true);
    intro->addWidget(pitch);
    outStack->addLayout(intro);
    outStack->addWidget(new Hairline(m_signedOutCard));
    auto* action = new QHBoxLayout;
    action->setContentsMargins(ui::SettingsDesign::rowPaddingH, 10, ui::SettingsDesign::rowPaddingH, 10);
    QLabel* newUser = make(QStringLiteral("New user? Just enter your email — no invite needed."),
        ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted, m_signedOutCard);
    newUser->setWordWrap(true);
    action->addWidget(newUser, 1);
    m_signIn = new PrimaryBrassButton(
        QStringLiteral("Sign in"), [this] { presentSignInSheet(); }, 16, 6);
    m_signIn->setObjectName(QStringLiteral("signIn"));
    m_signIn->setEnabled(m_host != nullptr);
    action->addWidget(m_signIn);
    outStack->addLayout(action);
    card->addRow(m_signedOutCard);

    m_accountRow = new ui::SettingsRow(QString(), std::nullopt, nullptr, true);
    m_minutes = make(QString(), ui::Faces::geistMono(14, QFont::DemiBold), ui::Color::vantorTextMuted, nullptr);
    m_minutes->setObjectName(QStringLiteral("minutes"));
    m_refresh = new ui::SecondaryButton(QStringLiteral("Refresh"), [this] { startRefresh(); });
    m_plan = make(QString(), ui::Faces::instrumentSans(13, QFont::DemiBold), ui::Color::vantorBrass, nullptr);
    m_plan->setObjectName(QStringLiteral("plan"));
    m_manage = new ui::SecondaryButton(QStringLiteral("Manage →"), [this] { openManageSubscription(); });
    m_signOut = new ui::DangerButton(QStringLiteral("Sign out"), [this] { confirmSignOut(); });
    m_accountRows = { m_accountRow,
        new ui::SettingsRow(
            QStringLiteral("Cloud minutes"), std::nullopt, controls({ m_minutes, m_refresh }, 10)),
        new ui::SettingsRow(QStringLiteral("Subscription"), std::nullopt, controls({ m_plan, m_manage }, 10)),
        new ui::SettingsRow(QStringLiteral("Sign out"), std::nullopt, m_signOut) };
    for (ui::SettingsRow* row : m_accountRows) {
        card->addRow(row);
    }
}

void AccountSectionView::addGiftGroup()
{
    ui::SettingsGroupCard* card = addGroup(QStringLiteral("Gift Card"));
    m_giftGroup = card->parentWidget();
    m_giftField = new QLineEdit;
    m_giftField->setObjectName(QStringLiteral("giftCode"));
    m_giftField->setPlaceholderText(QStringLiteral("Enter gift code"));
    m_giftField->setMinimumWidth(140);
    m_giftField->setMaximumWidth(200);
    m_redeem = new ui::SecondaryButton(QStringLiteral("Redeem"), [this] { triggerRedeem(); });
    m_redeem->setObjectName(QStringLiteral("redeem"));
    m_redeemRow = new ui::SettingsRow(
        QStringLiteral("Redeem code"), QString(), controls({ m_giftField, m_redeem }, 10), true);
    card->addRow(m_redeemRow);
    connect(m_giftField, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_redemption) {
            m_redemption->setCodeInput(text);
        }
    });
    connect(m_giftField, &QLineEdit::returnPressed, this, &AccountSectionView::triggerRedeem);

    m_buyRow = new ui::SettingsRow(QStringLiteral("Buy gift card"),
        QStringLiteral("Stripe gift checkout coming later — for now contact us to purchase codes."),
        new ui::SettingsBadge(QStringLiteral("Soon"), ui::BadgeKind::Soon));
    auto* dim = new QGraphicsOpacityEffect(m_buyRow);
    dim->setOpacity(0.55);
    m_buyRow->setGraphicsEffect(dim);
    m_buyRow->setAttribute(Qt::WA_TransparentForMouseEvents);
    card->addRow(m_buyRow);
    renderGift();
}

void AccountSectionView::syncFromController()
{
    if (m_host == nullptr) {
        m_signedIn = false;
        m_email.clear();
        m_tier.clear();
        m_minutesLeft = -1;
    } else {
        m_signedIn = !m_host->sessionToken().isEmpty() || m_host->hasStoredSession();
        const AccountMirror mirror = m_host->mirror();
        m_email = mirror.email;
        m_tier = mirror.tier;
        m_minutesLeft = mirror.minutesLeft;
    }
    // The plan group copies at the same moments: a copy taken only when it came into view would keep showing the
    // free plan after a refresh had found pay-as-you-go, beside an account card that says otherwise.
    if (m_signedIn) {
        m_planView->syncFromController();
    }
    render();
}

void AccountSectionView::render()
{
    m_signedOutCard->setHidden(m_signedIn);
    for (ui::SettingsRow* row : m_accountRows) {
        row->setHidden(!m_signedIn);
    }
    m_planView->setHidden(!m_signedIn);
    m_giftGroup->setHidden(!m_signedIn);

    m_accountRow->setLabel(m_email.isEmpty() ? QStringLiteral("Signed in") : m_email);
    m_minutes->setText(AccountTexts::minutesText(m_minutesLeft));
    ui::KitLabel::setColor(*m_minutes, balanceColor(m_minutesLeft));
    m_refresh->setText(m_refreshing ? QStringLiteral("Refreshing…") : QStringLiteral("Refresh"));
    m_plan->setText(AccountTexts::planName(m_tier));
    m_signOut->setText(m_signingOut ? QStringLiteral("Signing out…") : QStringLiteral("Sign out"));
    for (QWidget* button : { static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_signOut) }) {
        button->updateGeometry();
    }
}

void AccountSectionView::renderGift()
{
    const GiftCardPhase phase = m_redemption ? m_redemption->phase() : GiftCardPhase::idle();
    const bool redeeming = phase.kind == GiftCardPhase::Kind::Redeeming;
    m_redeemRow->setSub(phase.statusLine());
    if (m_redemption && m_giftField->text() != m_redemption->codeInput()) {
        m_giftField->setText(m_redemption->codeInput());
    }
    m_giftField->setEnabled(!redeeming);
    m_redeem->setText(redeeming ? QStringLiteral("Redeeming…") : QStringLiteral("Redeem"));
    m_redeem->setEnabled(canRedeem());
    m_redeem->updateGeometry();
}

bool AccountSectionView::canRedeem() const
{
    return m_redemption && m_redemption->canRedeem();
}

void AccountSectionView::triggerRedeem()
{
    if (!m_redemption) {
        return;
    }
    [[maybe_unused]] const QCoro::Task<> redeeming = m_redemption->triggerRedeem();
}

void AccountSectionView::startRefresh()
{
    if (m_refreshing || m_host == nullptr) {
        return;
    }
    m_refreshing = true;
    render();
    [[maybe_unused]] const QCoro::Task<> refreshing = refreshAndSync();
}

QCoro::Task<> AccountSectionView::refreshAndSync()
{
    return syncAfter(m_host->refreshMinutes(), &AccountSectionView::m_refreshing);
}

QCoro::Task<> AccountSectionView::syncAfter(QCoro::Task<> work, bool AccountSectionView::*busy)
{
    // The host outlives the page; the page may be gone when the work ends.
    const QPointer<AccountSectionView> self(this);
    co_await std::move(work);
    if (!self) {
        co_return;
    }
    this->*busy = false;
    syncFromController();
}

void AccountSectionView::openManageSubscription()
{
    const QUrl address(QString::fromLatin1(dashboardAddress), QUrl::StrictMode);
    if (address.isValid() && m_openUrl) {
        m_openUrl(address);
    }
}

void AccountSectionView::confirmSignOut()
{
    if (m_host == nullptr || m_alert) {
        return;
    }
    auto* alert = new QMessageBox(window());
    alert->setPalette(window()->palette());
    alert->setObjectName(QStringLiteral("signOutAlert"));
    alert->setIcon(QMessageBox::Warning);
    alert->setText(QStringLiteral("Sign out of murmeli Cloud?"));
    alert->setInformativeText(
        QStringLiteral("Your session will be removed from this computer. You can sign in again anytime."));
    QAbstractButton* confirm = alert->addButton(QStringLiteral("Sign out"), QMessageBox::DestructiveRole);
    alert->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QMessageBox::finished, this, [this, alert, confirm] {
        if (alert->clickedButton() == confirm) {
            m_signingOut = true;
            render();
            [[maybe_unused]] const QCoro::Task<> signingOut
                = syncAfter(m_host->signOut(), &AccountSectionView::m_signingOut);
        }
    });
    m_alert = alert;
    alert->open();
}

void AccountSectionView::presentSignInSheet()
{
    if (m_host == nullptr || m_sheet) {
        return;
    }
    if (m_signInModel == nullptr) {
        m_signInModel = new AccountSignInSheetModel(m_host->auth(), m_host->clock(), this);
    }
    // Every presentation starts from an empty first step; a running cooldown ends on its next tick.
    m_signInModel->setStep(AccountSignInSheetModel::Step::Email);
    m_signInModel->setPhase(AccountSignInSheetModel::Phase::Idle);
    m_signInModel->setEmail(QString());
    m_signInModel->setCode(QString());
    m_signInModel->setErrorText(QString());
    m_signInModel->setInfoText(QString());
    m_signInModel->setCooldownSec(0);

    m_sheet = new AccountSignInSheet(
        *m_signInModel, [this] { closeSignInSheet(); }, window());
    m_sheet->setObjectName(QStringLiteral("signInSheet"));
    m_host->attach(*m_signInModel);
    m_signInModel->onDismiss = [this] {
        closeSignInSheet();
        syncFromController();
    };
    m_sheet->setWindowModality(Qt::WindowModal);
    m_sheet->open();
}

void AccountSectionView::closeSignInSheet()
{
    if (!m_sheet) {
        return;
    }
    // Not deleted at once: the sheet may be inside its own button's press.
    AccountSignInSheet* sheet = m_sheet;
    m_sheet = nullptr;
    sheet->hide();
    sheet->deleteLater();
}

} // namespace murmeli::cloud
