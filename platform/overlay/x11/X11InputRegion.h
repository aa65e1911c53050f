#pragma once

#include <memory>

#include "platform/overlay/InputRegion.h"

namespace murmeli::platform {

class X11Connection;

/// Input regions through the SHAPE extension's input kind: the window keeps drawing everywhere, and the X server
/// sends the pointer through wherever the region does not reach.
class X11InputRegion final : public InputRegion {
public:
    explicit X11InputRegion(std::shared_ptr<X11Connection> connection);

    bool isAvailable() const override { return m_available; }
    bool apply(QWindow& window, const QList<QRect>& rects) override;

private:
    std::shared_ptr<X11Connection> m_connection;
    bool m_available = false;
};

} // namespace murmeli::platform
