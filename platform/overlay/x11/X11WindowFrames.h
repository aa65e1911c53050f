#pragma once

#include <memory>

#include "platform/overlay/WindowFrames.h"

namespace murmeli::platform {

class X11Connection;

/// Window rectangles asked of the X server: the client window's place on the root, grown by the decorations the
/// window manager announces in _NET_FRAME_EXTENTS.
class X11WindowFrames final : public WindowFrames {
public:
    explicit X11WindowFrames(std::shared_ptr<X11Connection> connection);

    std::optional<QRect> frameOf(quint64 windowId) const override;

private:
    std::shared_ptr<X11Connection> m_connection;
};

} // namespace murmeli::platform
