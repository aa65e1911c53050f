#pragma once

#include <memory>

#include <xcb/sync.h>

#include "platform/overlay/DisplayClock.h"

namespace murmeli::platform {

class X11Connection;

/// The X server keeps its event time as the SYNC extension's system counter "SERVERTIME"; asking for the counter is
/// one round trip. What the screen shows is read from the root window, which holds what a compositing manager drew.
class X11DisplayClock final : public DisplayClock {
public:
    explicit X11DisplayClock(std::shared_ptr<X11Connection> connection);

    bool isAvailable() const override { return m_counter != XCB_NONE; }
    std::optional<quint32> displayTimeMs() override;
    std::optional<QImage> screenImage(QRect at) override;

private:
    std::shared_ptr<X11Connection> m_connection;
    xcb_sync_counter_t m_counter = XCB_NONE;
};

} // namespace murmeli::platform
