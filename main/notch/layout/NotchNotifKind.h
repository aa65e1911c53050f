#pragma once

#include <QString>

namespace murmeli::notch {

/// The notification strips the closed panel shows.
enum class NotchNotifKind { Completion, Approval, Error, Summary };

/// "completion", "approval", "error" or "summary".
QString toString(NotchNotifKind kind);

} // namespace murmeli::notch
