#pragma once

#include <functional>
#include <map>

#include <QList>
#include <QRect>

#include "platform/overlay/Compositing.h"
#include "platform/overlay/DisplayClock.h"
#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowFrames.h"
#include "platform/overlay/WindowStacking.h"

namespace murmeli::platform {

/// An overlay desktop for tests: the regions set are recorded, the test moves and presses the pointer, and window
/// frames are what the test says, and so is whether another window lies above the overlay and stays there when it is
/// raised, whether a compositing manager runs (one does until the test says otherwise), what time the display keeps
/// and what its screen shows. Nothing reaches a display.
class FakeOverlay final : public InputRegion,
                          public PointerMonitor,
                          public WindowFrames,
                          public WindowStacking,
                          public Compositing,
                          public DisplayClock {
public:
    bool isAvailable() const override { return true; }

    // InputRegion
    bool apply(QWindow& window, const QList<QRect>& rects) override;
    /// The last region set on window; absent when none was.
    std::optional<QList<QRect>> regionOf(const QWindow& window) const;
    int applyCount() const { return m_applies; }

    // PointerMonitor
    bool start() override;
    void stop() override { m_watching = false; }
    bool isWatching() const { return m_watching; }
    /// The user moves the pointer there (global, y down); reported while watching.
    void moveTo(QPoint at);
    /// The user presses the left button there; reported while watching.
    void pressLeft(QPoint at);
    /// start() fails from now on.
    void refuseStart() { m_refuseStart = true; }

    // WindowFrames
    std::optional<QRect> frameOf(quint64 windowId) const override;
    void setFrame(quint64 windowId, std::optional<QRect> frame);

    // WindowStacking
    bool raise(QWindow& window) override;
    bool isCovered(QWindow& window, const QRect& rect) const override;
    /// Another window lies above every overlay from now on; with staysAbove a raise does not change that.
    void coverWith(bool staysAbove)
    {
        m_covered = true;
        m_coverStaysAbove = staysAbove;
    }
    int raiseCount() const { return m_raises; }

    // Compositing
    bool isRunning() const override { return m_compositing; }
    void setCompositing(bool running) { m_compositing = running; }

    // DisplayClock
    std::optional<quint32> displayTimeMs() override
    {
        return displayTime ? std::optional(static_cast<quint32>(displayTime())) : std::nullopt;
    }
    /// The display's time now, as the test keeps it; unset: the display cannot say.
    std::function<quint64()> displayTime;
    std::optional<QImage> screenImage(QRect at) override { return screen ? screen(at) : std::nullopt; }
    /// What the screen shows, as the test keeps it; unset: the screen cannot say.
    std::function<std::optional<QImage>(QRect)> screen;

private:
    std::map<const QWindow*, QList<QRect>> m_regions;
    bool m_covered = false;
    bool m_coverStaysAbove = false;
    bool m_compositing = true;
    int m_raises = 0;
    int m_applies = 0;
    bool m_watching = false;
    bool m_refuseStart = false;
    std::map<quint64, QRect> m_frames;
};

} // namespace murmeli::platform
