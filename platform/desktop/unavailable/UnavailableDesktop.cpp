#include "platform/desktop/unavailable/UnavailableDesktop.h"

namespace murmeli::platform {

QFuture<bool> UnavailableDesktop::activate(WindowId /*id*/, std::chrono::milliseconds /*timeout*/)
{
    return QtFuture::makeReadyFuture(false);
}

} // namespace murmeli::platform
