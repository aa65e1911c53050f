#include "main/settings/views/pages/AccessibilityControl.h"

#include <QHBoxLayout>

#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsBadge.h"

namespace murmeli::settings {

namespace {

ui::BadgeKind kindOf(AccessibilityStatus::State state)
{
    switch (state) {
    case AccessibilityStatus::State::Unavailable:
        return ui::BadgeKind::Off;
    case AccessibilityStatus::State::Blocked:
    case AccessibilityStatus::State::Stale:
        return ui::BadgeKind::Warn;
    case AccessibilityStatus::State::Granted:
        break;
    }
    return ui::BadgeKind::Active;
}

} // namespace

AccessibilityControl::AccessibilityControl(std::function<std::optional<InjectionSupport>()> probe, QWidget* parent)
    : QWidget(parent), m_probe(std::move(probe))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    m_badge = new ui::SettingsBadge(QString(), ui::BadgeKind::Off, true, this);
    m_recheck = new ui::SecondaryButton(
        QStringLiteral("Re-check"), [this] { recheck(); }, this);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    layout->addWidget(m_recheck, 0, Qt::AlignVCenter);
    m_support = m_probe ? m_probe() : std::nullopt;
    show();
}

void AccessibilityControl::injectionRefused()
{
    m_revokedSeen = true;
    recheck();
}

void AccessibilityControl::recheck()
{
    m_support = m_probe ? m_probe() : std::nullopt;
    show();
}

AccessibilityStatus::State AccessibilityControl::state() const
{
    return AccessibilityStatus::state(m_support, m_revokedSeen);
}

QString AccessibilityControl::helpText() const
{
    return AccessibilityStatus::helpText(m_support, m_revokedSeen);
}

void AccessibilityControl::show()
{
    const AccessibilityStatus::State current = state();
    m_badge->set(AccessibilityStatus::badgeText(current), kindOf(current));
    Q_EMIT changed();
}

} // namespace murmeli::settings
