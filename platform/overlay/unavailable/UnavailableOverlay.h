#pragma once

#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowFrames.h"

namespace murmeli::platform {

/// An overlay on a desktop that offers none of it (no X display, the offscreen platform): no region is set, the
/// pointer is never reported and no window is found.
class UnavailableOverlay final : public InputRegion, public PointerMonitor, public WindowFrames {
public:
    bool isAvailable() const override { return false; }
    bool apply(QWindow& /*window*/, const QList<QRect>& /*rects*/) override { return false; }
    bool start() override { return false; }
    void stop() override { }
    std::optional<QRect> frameOf(quint64 /*windowId*/) const override { return std::nullopt; }
};

} // namespace murmeli::platform
