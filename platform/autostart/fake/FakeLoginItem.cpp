#include "platform/autostart/fake/FakeLoginItem.h"

namespace murmeli::platform {

std::optional<QString> FakeLoginItem::setEnabled(bool enabled)
{
    ++changeRequests;
    if (failure) {
        return failure;
    }
    m_enabled = enabled;
    return std::nullopt;
}

} // namespace murmeli::platform
