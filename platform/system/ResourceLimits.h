#pragma once

#include <optional>

#include <QtGlobal>

namespace murmeli::platform {

/// The process's open-file limits around one raiseOpenFileLimit() call.
struct OpenFileLimit {
    quint64 before = 0;
    quint64 after = 0;
    quint64 hard = 0;
    bool raised = false;
};

/// Raises the soft RLIMIT_NOFILE to wanted (0: as far as the hard limit allows), capped at the hard limit and never
/// lowered; nullopt when the limits cannot be read.
std::optional<OpenFileLimit> raiseOpenFileLimit(quint64 wanted = 0);

} // namespace murmeli::platform
