#pragma once

#include "platform/overlay/Compositing.h"
#include "platform/overlay/DisplayClock.h"
#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowFrames.h"
#include "platform/overlay/WindowStacking.h"

namespace murmeli::platform {

/// An overlay on a desktop that offers none of it (no X display, the offscreen platform): no region is set, the
/// pointer is never reported, no window is found, nothing is known to lie above another and no compositing manager is
/// known to run, and the display's time is not known.
class UnavailableOverlay final : public InputRegion,
                                 public PointerMonitor,
                                 public WindowFrames,
                                 public WindowStacking,
                                 public Compositing,
                                 public DisplayClock {
public:
    bool isAvailable() const override { return false; }
    bool apply(QWindow& /*window*/, const QList<QRect>& /*rects*/) override { return false; }
    bool start() override { return false; }
    void stop() override { }
    std::optional<QRect> frameOf(quint64 /*windowId*/) const override { return std::nullopt; }
    bool raise(QWindow& /*window*/) override { return false; }
    bool isCovered(QWindow& /*window*/, const QRect& /*rect*/) const override { return false; }
    bool isRunning() const override { return false; }
    std::optional<quint32> displayTimeMs() override { return std::nullopt; }
    std::optional<QImage> screenImage(QRect /*at*/) override { return std::nullopt; }
};

} // namespace murmeli::platform
