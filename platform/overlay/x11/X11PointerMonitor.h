#pragma once

#include <memory>
#include <optional>

#include <QPoint>
#include <QTimer>

#include <xcb/xcb.h>

#include "platform/overlay/PointerMonitor.h"

namespace murmeli::platform {

class X11Connection;

/// The pointer through XInput 2's raw events on the root window, which the server sends to every client that asks,
/// whatever window the pointer is over and whoever grabbed it. Raw events carry no position, so the pointer is
/// asked where it is: at once for a press, and for motion at most once a frame.
class X11PointerMonitor final : public PointerMonitor {
public:
    /// Longest wait between a raw motion and the position it reports.
    static constexpr int motionIntervalMs = 16;

    explicit X11PointerMonitor(std::shared_ptr<X11Connection> connection);
    ~X11PointerMonitor() override;

    bool isAvailable() const override { return m_opcode.has_value(); }
    bool start() override;
    void stop() override;

private:
    bool select(quint32 bits, bool on);
    bool onEvent(const xcb_generic_event_t* event);
    void reportMotion();

    std::shared_ptr<X11Connection> m_connection;
    std::optional<quint8> m_opcode;
    int m_listener = 0;
    QTimer m_motion;
    xcb_timestamp_t m_lastPressTime = 0;
};

} // namespace murmeli::platform
