#include "main/settings/AccessibilityStatus.h"

namespace murmeli::settings::AccessibilityStatus {

namespace {

const QString requiredFor = QStringLiteral("Required for global PTT hotkey + STT result paste.");

} // namespace

State state(const std::optional<InjectionSupport>& support, bool revokedSeen)
{
    if (!support) {
        return State::Unavailable;
    }
    if (!support->canInject) {
        return State::Blocked;
    }
    return revokedSeen ? State::Stale : State::Granted;
}

QString badgeText(State state)
{
    switch (state) {
    case State::Unavailable:
        return QStringLiteral("Unavailable");
    case State::Blocked:
        return QStringLiteral("Blocked");
    case State::Stale:
        return QStringLiteral("Stale (recent silent-fail)");
    case State::Granted:
        break;
    }
    return QStringLiteral("Granted");
}

QString helpText(const std::optional<InjectionSupport>& support, bool revokedSeen)
{
    if (support && !support->canInject) {
        return support->reason.isEmpty() ? requiredFor : requiredFor + QLatin1Char(' ') + support->reason;
    }
    if (support && revokedSeen) {
        return QStringLiteral("Typing into other windows works now but was blocked earlier this session. Re-check "
                              "after the next take.");
    }
    return requiredFor;
}

} // namespace murmeli::settings::AccessibilityStatus
