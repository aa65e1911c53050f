#pragma once

#include <memory>

#include "platform/overlay/Compositing.h"
#include "platform/overlay/DisplayClock.h"
#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowFrames.h"
#include "platform/overlay/WindowStacking.h"

namespace murmeli::platform {

/// What an overlay window needs of the desktop besides Qt: its input region, the pointer seen desktop-wide, the
/// places of the other windows, its own place among them, whether its transparent parts are seen through, and the
/// display's clock.
struct OverlayServices final {
    std::shared_ptr<InputRegion> input;
    std::shared_ptr<PointerMonitor> pointer;
    std::shared_ptr<WindowFrames> frames;
    std::shared_ptr<WindowStacking> stacking;
    std::shared_ptr<Compositing> compositing;
    std::shared_ptr<DisplayClock> displayClock;
};

/// X11 when Qt runs on the xcb platform and the display has the SHAPE and XInput 2 extensions; elsewhere services that
/// report themselves unavailable and do nothing. Main thread only.
OverlayServices makeOverlayServices();

} // namespace murmeli::platform
