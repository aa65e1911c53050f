#pragma once

#include <QtGlobal>

namespace murmeli::platform {

/// Whether a compositing manager draws the screen: without one, what a window leaves transparent shows black over
/// the windows below it. Main thread only.
class Compositing {
public:
    Compositing() = default;
    virtual ~Compositing() = default;
    Q_DISABLE_COPY_MOVE(Compositing)

    /// Whether the desktop can say.
    virtual bool isAvailable() const = 0;
    /// Whether a compositing manager runs now; false when none does or the desktop cannot say.
    virtual bool isRunning() const = 0;
};

} // namespace murmeli::platform
