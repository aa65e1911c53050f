#pragma once

#include <optional>

#include <QRect>
#include <QtGlobal>

namespace murmeli::platform {

/// Where the other programs' top-level windows are on the desktop. Main thread only.
class WindowFrames {
public:
    WindowFrames() = default;
    virtual ~WindowFrames() = default;
    Q_DISABLE_COPY_MOVE(WindowFrames)

    /// The window's rectangle, its decorations included, in Qt's global logical pixels (y down); absent when the
    /// window is gone or the desktop cannot say.
    virtual std::optional<QRect> frameOf(quint64 windowId) const = 0;
};

} // namespace murmeli::platform
