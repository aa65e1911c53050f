#pragma once

#include <memory>

#include <xcb/xcb.h>

#include "platform/overlay/Compositing.h"

namespace murmeli::platform {

class X11Connection;

/// A compositing manager of the X display owns the selection _NET_WM_CM_S<n> of its screen n while it runs.
class X11Compositing final : public Compositing {
public:
    explicit X11Compositing(std::shared_ptr<X11Connection> connection);

    bool isAvailable() const override { return m_selection != XCB_ATOM_NONE; }
    bool isRunning() const override;

private:
    std::shared_ptr<X11Connection> m_connection;
    xcb_atom_t m_selection = XCB_ATOM_NONE;
};

} // namespace murmeli::platform
