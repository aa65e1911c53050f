#include "platform/system/ResourceLimits.h"

#include <algorithm>

#include <sys/resource.h>

namespace murmeli::platform {

std::optional<OpenFileLimit> raiseOpenFileLimit(quint64 wanted)
{
    rlimit limits {};
    if (::getrlimit(RLIMIT_NOFILE, &limits) != 0) {
        return std::nullopt;
    }
    OpenFileLimit result;
    result.before = limits.rlim_cur;
    result.after = limits.rlim_cur;
    result.hard = limits.rlim_max;

    const rlim_t target = wanted == 0 ? limits.rlim_max : std::min<rlim_t>(wanted, limits.rlim_max);
    if (target <= limits.rlim_cur) {
        return result;
    }
    rlimit raised = limits;
    raised.rlim_cur = target;
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0) {
        // An unlimited hard limit is still bounded by the kernel's nr_open; a refusal keeps what we had.
        return result;
    }
    result.after = target;
    // Read back rather than trust the request: the kernel decides what the soft limit actually became.
    if (::getrlimit(RLIMIT_NOFILE, &limits) == 0) {
        result.after = limits.rlim_cur;
    }
    result.raised = result.after > result.before;
    return result;
}

} // namespace murmeli::platform
