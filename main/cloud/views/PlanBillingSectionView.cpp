#include "main/cloud/views/PlanBillingSectionView.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "main/ui/design/Tokens.h"
#include "main/cloud/account/AccountHost.h"
#include "main/cloud/account/AccountTexts.h"
#include "main/cloud/billing/PlanUsage.h"
#include "main/cloud/views/ProgressLine.h"
#include "main/cloud/views/TopUpButton.h"
#include "main/common/Clock.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/GroupTitle.h"
#include "main/ui/widgets/KitLabel.h"
#include "main/ui/widgets/SettingsDesign.h"
#include "main/ui/widgets/SettingsGroupCard.h"

namespace murmeli::cloud {

namespace {

using ui::KitLabel::make;

QFont captionFont()
{
    QFont font = ui::Faces::instrumentSans(12, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.6);
    return font;
}

QWidget* column(QWidget* parent, QVBoxLayout*& layout)
{
    auto* box = new QWidget(parent);
    layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    return box;
}

} // namespace

PlanBillingSectionView::PlanBillingSectionView(AccountHost* host, QWidget* parent) : QWidget(parent), m_host(host)
{
    auto* group = new QVBoxLayout(this);
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(ui::SettingsDesign::groupTitleGap);
    group->addWidget(new ui::GroupTitle(QStringLiteral("Plan"), this));
    auto* card = new ui::SettingsGroupCard(this);
    group->addWidget(card);

    auto* content = new QWidget(card);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(ui::SettingsDesign::rowPaddingH, 14, ui::SettingsDesign::rowPaddingH, 14);
    stack->setSpacing(14);
    card->addRow(content);

    QVBoxLayout* free = nullptr;
    m_freeBox = column(content, free);
    m_freeCaption = make(QString(), captionFont(), ui::Color::vantorTextMuted, m_freeBox);
    m_freeCaption->setObjectName(QStringLiteral("planCaption"));
    free->addWidget(m_freeCaption);
    m_month = new ProgressLine(QStringLiteral("This month · 本月"), m_freeBox);
    m_month->setObjectName(QStringLiteral("month"));
    free->addWidget(m_month);
    m_week = new ProgressLine(QStringLiteral("This week · 本周"), m_freeBox);
    m_week->setObjectName(QStringLiteral("week"));
    free->addWidget(m_week);
    m_freeTopUp = new TopUpButton(QStringLiteral("🪙 Top up · 升级到 Pay-as-you-go"),
        QStringLiteral("$6.99 = 1000 min · Never expires · 永不过期"), m_freeBox);
    free->addWidget(m_freeTopUp);
    stack->addWidget(m_freeBox);

    QVBoxLayout* paygo = nullptr;
    m_paygoBox = column(content, paygo);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(make(QStringLiteral("PAY-AS-YOU-GO"), captionFont(), ui::Color::vantorBrass, m_paygoBox));
    heading->addWidget(
        make(QStringLiteral("⭐"), ui::Faces::system(11, QFont::Normal), ui::Color::vantorText, m_paygoBox));
    heading->addStretch(1);
    paygo->addLayout(heading);
    m_paygoTopUp = new TopUpButton(QStringLiteral("🪙 Top up another 1000 min · 再充 1000 分钟"),
        QStringLiteral("$6.99 · One-time charge"), m_paygoBox);
    paygo->addWidget(m_paygoTopUp);
    stack->addWidget(m_paygoBox);

    // A failed top-up says why here; dropping it would leave the user guessing why nothing happened.
    m_error = make(QString(), ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorSignalRed, content);
    m_error->setObjectName(QStringLiteral("topUpError"));
    m_error->setWordWrap(true);
    m_error->hide();
    stack->addWidget(m_error);

    for (TopUpButton* button : { m_freeTopUp, m_paygoTopUp }) {
        connect(button, &QAbstractButton::clicked, this, &PlanBillingSectionView::triggerTopUp);
    }
    render();
}

bool PlanBillingSectionView::isPayAsYouGoShown() const
{
    return AccountTexts::isPayAsYouGo(m_tier);
}

QString PlanBillingSectionView::freeCaption() const
{
    return m_freeCaption->text();
}

TopUpButton* PlanBillingSectionView::topUpButton() const
{
    return isPayAsYouGoShown() ? m_paygoTopUp : m_freeTopUp;
}

QString PlanBillingSectionView::topUpError() const
{
    return m_topUpError;
}

void PlanBillingSectionView::syncFromController()
{
    if (m_host == nullptr) {
        return;
    }
    const AccountMirror mirror = m_host->mirror();
    m_tier = mirror.tier.isEmpty() ? QStringLiteral("free") : mirror.tier;
    m_quotaMinutes = std::max<qint64>(mirror.quotaMinutes, 0);
    m_minutesUsed = std::max<qint64>(mirror.minutesUsed, 0);
    m_minutesUsedWeek = std::max<qint64>(mirror.minutesUsedWeek, 0);
    m_monthResetAt = mirror.monthResetAt;
    m_weekResetAt = mirror.weekResetAt;
    render();
}

void PlanBillingSectionView::triggerTopUp()
{
    if (m_topUpInFlight || m_host == nullptr) {
        return;
    }
    m_topUpInFlight = true;
    m_topUpError.clear();
    render();
    [[maybe_unused]] const QCoro::Task<> running = runTopUp();
}

QCoro::Task<> PlanBillingSectionView::runTopUp()
{
    // The page may be closed while the browser is open; the host outlives it.
    const QPointer<PlanBillingSectionView> self(this);
    AccountHost* host = m_host;
    const BillingFlowResult result = co_await host->startTopUp();
    if (!self) {
        co_return;
    }
    syncFromController();
    if (result.kind == BillingFlowResult::Kind::Failed) {
        m_topUpError = result.message;
    } else {
        co_await host->refreshMinutes();
        if (!self) {
            co_return;
        }
        syncFromController();
    }
    m_topUpInFlight = false;
    render();
    if (onTopUpFinished) {
        onTopUpFinished();
    }
}

void PlanBillingSectionView::render()
{
    const bool paygo = isPayAsYouGoShown();
    m_freeBox->setHidden(paygo);
    m_paygoBox->setHidden(!paygo);
    // The plan the device names, in capitals: "FREE", or the tier's own name for a plan this card has no layout of.
    m_freeCaption->setText(AccountTexts::planName(m_tier).toUpper());
    const double now = m_host != nullptr ? static_cast<double>(m_host->clock().now().toMSecsSinceEpoch()) / 1000.0 : 0;
    m_month->set(m_minutesUsed, PlanUsage::monthCap(m_quotaMinutes), PlanUsage::resetText(m_monthResetAt, now));
    m_week->set(m_minutesUsedWeek, PlanUsage::freeWeekMinutes, PlanUsage::resetText(m_weekResetAt, now));
    for (TopUpButton* button : { m_freeTopUp, m_paygoTopUp }) {
        button->setState(m_host != nullptr, m_topUpInFlight);
    }
    m_error->setText(m_topUpError);
    m_error->setHidden(m_topUpError.isEmpty());
}

} // namespace murmeli::cloud
