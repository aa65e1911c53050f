#pragma once

#include <functional>

#include <QPoint>
#include <QtGlobal>

namespace murmeli::platform {

/// The pointer seen over the whole desktop, whichever window it is over, without taking it from anyone: the window
/// under it still gets every click. Positions are global, in Qt's logical pixels (y down). Main thread only; the
/// callbacks are called from the event loop.
class PointerMonitor {
public:
    PointerMonitor() = default;
    virtual ~PointerMonitor() = default;
    Q_DISABLE_COPY_MOVE(PointerMonitor)

    /// Whether the desktop reports the pointer to a watcher.
    virtual bool isAvailable() const = 0;
    /// Starts reporting; false when it cannot.
    virtual bool start() = 0;
    /// Stops reporting; nothing is called afterwards.
    virtual void stop() = 0;

    /// The pointer moved; successive moves may be merged, so only the latest position of a burst is reported.
    std::function<void(QPoint)> onMoved;
    /// The left button went down at that position, once for each press. timeMs is the desktop's time of the press,
    /// the same that a window of ours under the pointer is told for it (QInputEvent::timestamp()); 0 when unknown.
    std::function<void(QPoint at, quint64 timeMs)> onLeftPressed;
};

} // namespace murmeli::platform
