#pragma once

#include <memory>

#include <QList>
#include <QObject>
#include <QPromise>

#include <xcb/xcb.h>

#include "platform/desktop/WindowSystem.h"

namespace murmeli::platform {

class X11Connection;

/// The windows as an EWMH window manager lists them on the root window (_NET_CLIENT_LIST, _NET_ACTIVE_WINDOW), each
/// with its WM_CLASS, title and process (_NET_WM_PID, else the X server's own record of the client's process).
/// Activation is asked of the window manager as a pager would ask and counts once the active window has changed.
class X11WindowSystem final : public WindowSystem {
public:
    explicit X11WindowSystem(std::shared_ptr<X11Connection> connection);
    ~X11WindowSystem() override;

    std::optional<WindowInfo> activeWindow() const override;
    QList<WindowInfo> windows() const override;
    QFuture<bool> activate(WindowId id, std::chrono::milliseconds timeout) override;
    InjectionSupport injectionSupport() const override;

private:
    struct Activation final {
        quint64 serial = 0;
        xcb_window_t window = XCB_WINDOW_NONE;
        std::shared_ptr<QPromise<bool>> promise;
    };

    std::optional<xcb_window_t> activeId() const;
    QList<xcb_window_t> clientList() const;
    WindowInfo describe(xcb_window_t window) const;
    std::optional<qint64> pidOf(xcb_window_t window) const;
    bool onEvent(const xcb_generic_event_t* event);
    void finish(quint64 serial, bool activated);

    std::shared_ptr<X11Connection> m_connection;
    int m_listener = 0;
    bool m_hasXTest = false;
    bool m_hasXRes = false;
    QList<Activation> m_activations;
    quint64 m_nextSerial = 1;
    // Owns the time-out timers, so that none fires after this is gone.
    QObject m_timerOwner;
};

} // namespace murmeli::platform
