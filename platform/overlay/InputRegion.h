#pragma once

#include <QList>
#include <QRect>
#include <QtGlobal>

class QWindow;

namespace murmeli::platform {

/// The part of a window that takes the pointer. Clicks and hovering over the rest of it reach the windows below, as
/// if it were not there; what the window draws is not changed. Main thread only.
class InputRegion {
public:
    InputRegion() = default;
    virtual ~InputRegion() = default;
    Q_DISABLE_COPY_MOVE(InputRegion)

    /// Whether regions can be set on this desktop.
    virtual bool isAvailable() const = 0;
    /// Makes rects (the window's own coordinates, logical pixels) the window's input region; an empty list lets the
    /// pointer pass through all of it. False when the region could not be set.
    virtual bool apply(QWindow& window, const QList<QRect>& rects) = 0;
};

} // namespace murmeli::platform
