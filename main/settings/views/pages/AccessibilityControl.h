#pragma once

#include <functional>
#include <optional>

#include <QWidget>

#include "main/settings/AccessibilityStatus.h"

namespace murmeli::ui {
class SettingsBadge;
class SecondaryButton;
}

namespace murmeli::settings {

/// The General page's "Accessibility" row control: a badge saying whether murmeli can type into other windows here,
/// and "Re-check". It asks anew when built, on "Re-check" and whenever an injection reports that typing was refused
/// (which also marks the state as stale until the page is built again).
class AccessibilityControl final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccessibilityControl)

public:
    /// probe answers the question, nullopt when nothing can (no application behind the page).
    explicit AccessibilityControl(std::function<std::optional<InjectionSupport>()> probe, QWidget* parent = nullptr);

    /// An injection found typing refused.
    void injectionRefused();
    /// Asks the probe again.
    void recheck();

    AccessibilityStatus::State state() const;
    /// The help line for the row.
    QString helpText() const;
    ui::SettingsBadge* badge() const { return m_badge; }
    ui::SecondaryButton* recheckButton() const { return m_recheck; }

Q_SIGNALS:
    void changed();

private:
    void show();

    std::function<std::optional<InjectionSupport>()> m_probe;
    std::optional<InjectionSupport> m_support;
    bool m_revokedSeen = false;
    ui::SettingsBadge* m_badge = nullptr;
    ui::SecondaryButton* m_recheck = nullptr;
};

} // namespace murmeli::settings
