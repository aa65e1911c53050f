#pragma once

#include <optional>

#include <QImage>
#include <QRect>
#include <QtGlobal>

namespace murmeli::platform {

/// The display server's own clock, on which it stamps the input events it sends, and what its screen shows. Main
/// thread only.
class DisplayClock {
public:
    DisplayClock() = default;
    virtual ~DisplayClock() = default;
    Q_DISABLE_COPY_MOVE(DisplayClock)

    /// Whether the display can say its time.
    virtual bool isAvailable() const = 0;
    /// The display's time now, in milliseconds on the scale of its events' stamps (which wraps at 2^32), read once it
    /// has handled every request sent before; none when it cannot say.
    virtual std::optional<quint32> displayTimeMs() = 0;
    /// What the screen shows in a rectangle of it (in the display's own pixels) now, opaque; none when it cannot say.
    virtual std::optional<QImage> screenImage(QRect at) = 0;
};

} // namespace murmeli::platform
