#pragma once

#include <QRect>
#include <QtGlobal>

class QWindow;

namespace murmeli::platform {

/// Where an overlay window stands among the desktop's top-level windows. Main thread only.
class WindowStacking {
public:
    WindowStacking() = default;
    virtual ~WindowStacking() = default;
    Q_DISABLE_COPY_MOVE(WindowStacking)

    /// Whether the desktop says how its windows are stacked.
    virtual bool isAvailable() const = 0;
    /// Puts the window above every other top-level window; false when that could not be asked for.
    virtual bool raise(QWindow& window) = 0;
    /// Whether another shown top-level window lies above the window over rect (the window's own coordinates,
    /// logical pixels), hiding that part of it; false when none does or the desktop cannot say.
    virtual bool isCovered(QWindow& window, const QRect& rect) const = 0;
};

} // namespace murmeli::platform
