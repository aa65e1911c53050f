#pragma once

#include <optional>

#include <QString>

namespace murmeli::settings {

/// Whether murmeli can type into other windows here (the desktop layer's answer), and why not.
struct InjectionSupport final {
    bool canInject = false;
    QString reason;
};

/// The General page's "Accessibility" row: what the badge and the help line say.
namespace AccessibilityStatus {

enum class State {
    /// Nothing to ask: no application behind the page, or no desktop layer to ask.
    Unavailable,
    /// Keys cannot be typed into other windows here.
    Blocked,
    /// Typing works now but was refused earlier this session.
    Stale,
    Granted,
};

State state(const std::optional<InjectionSupport>& support, bool revokedSeen);
/// The badge's text.
QString badgeText(State state);
/// The row's help line; the desktop layer's reason follows when typing is blocked.
QString helpText(const std::optional<InjectionSupport>& support, bool revokedSeen);

} // namespace AccessibilityStatus

} // namespace murmeli::settings
