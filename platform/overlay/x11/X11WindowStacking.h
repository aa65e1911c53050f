#pragma once

#include <memory>

#include "platform/overlay/WindowStacking.h"

namespace murmeli::platform {

class X11Connection;

/// The stacking of the root window's children as the X server has it (bottom first). A window the window manager
/// does not manage is itself a child of the root; a managed one sits in the manager's frame, which is.
class X11WindowStacking final : public WindowStacking {
public:
    explicit X11WindowStacking(std::shared_ptr<X11Connection> connection);

    bool isAvailable() const override { return true; }
    bool raise(QWindow& window) override;
    bool isCovered(QWindow& window, const QRect& rect) const override;

private:
    std::shared_ptr<X11Connection> m_connection;
};

} // namespace murmeli::platform
