#pragma once

#include <memory>

#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowFrames.h"

namespace murmeli::platform {

/// What an overlay window needs of the desktop besides Qt: its input region, the pointer seen desktop-wide and the
/// places of the other windows.
struct OverlayServices final {
    std::shared_ptr<InputRegion> input;
    std::shared_ptr<PointerMonitor> pointer;
    std::shared_ptr<WindowFrames> frames;
};

/// X11 when Qt runs on the xcb platform and the display has the SHAPE and XInput 2 extensions; elsewhere services that
/// report themselves unavailable and do nothing. Main thread only.
OverlayServices makeOverlayServices();

} // namespace murmeli::platform
