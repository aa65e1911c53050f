#include "platform/desktop/ScreenProviderFactory.h"

#include "platform/desktop/qt/QtScreenProvider.h"

namespace murmeli::platform {

std::unique_ptr<ScreenProvider> makeScreenProvider()
{
    return std::make_unique<QtScreenProvider>();
}

} // namespace murmeli::platform
