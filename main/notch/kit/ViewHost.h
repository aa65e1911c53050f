#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QImage>
#include <QRegion>
#include <QRgb>
#include <QTimer>
#include <QWidget>

#include "main/notch/kit/EventClock.h"
#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/FrameTimes.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The one widget of a window that draws its view tree. It paints the root view at the clock's time, runs the
/// window's frame pump for as long as the root animates, redraws the small areas that views ask for at the pace they
/// ask, and hands pointer events to the root. Neither timer runs while the window cannot be seen.
class ViewHost final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ViewHost)

public:
    /// Points a wheel notch scrolls.
    static constexpr qreal wheelStep = 40;

    /// clock drives every animation and timer of the views; it must outlive the host.
    explicit ViewHost(common::Clock& clock, QWidget* parent = nullptr);
    ~ViewHost() override;

    /// The environment the views of this host are made with.
    ViewEnvironment& environment() { return m_environment; }
    void setRoot(std::unique_ptr<View> root);
    View* root() const { return m_root.get(); }
    const FramePump& framePump() const { return m_pump; }
    /// The areas views asked to have drawn again, in the host's coordinates; empty when nothing moves slowly.
    QRegion pendingArea() const;
    /// Whether the window's frames reach anyone: shown, exposed, and on a display (Qt's offscreen platform has none).
    bool canBeSeen() const;

    /// The pointer is no longer over the window, whether or not the window heard it leave.
    void pointerGone();
    /// What the window can learn of the screen it is shown on.
    struct Screen {
        /// What the screen shows in a rectangle of it, in the display's pixels; none when it cannot say.
        std::function<std::optional<QImage>(QRect)> grab;
        /// Whether a compositing manager draws the screen; without one the display draws a frame as it gets it.
        std::function<bool()> composited;
        /// Whether another window lies over a rectangle of this one (in its coordinates).
        std::function<bool(QRect)> covered;
    };

    /// How long the host looks at the screen as often as it can for a frame awaited, before it looks less often.
    static constexpr int closeWatchMs = 50;
    /// How many of the display's pixels around the spot the host looks for a frame's mark in.
    static constexpr int slack = 2;

    /// The display the window is shown on: displayTime reads its clock (which stamps the pointer's events, and whose
    /// answer tells that the display has every frame handed to it); screen tells what its screen shows, where a
    /// compositing manager may draw a frame some time after the display has it, or never while it stalls. Unset:
    /// events happened when they are handled, and a frame is on the screen once it is handed over.
    void setDisplay(EventClock::DisplayTime displayTime, Screen screen);
    /// When the window's frames reached the screen.
    const FrameTimes& frames() const { return m_frames; }

    /// Draws the root into painter over the host's rectangle as it looks at nowMs and sets the frame pump from
    /// whether it still animates. paintEvent, snapshots and benchmarks all draw through here.
    void paintFrame(QPainter& painter, qint64 nowMs);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Area {
        QRect rect;
        int ms = 0;
    };

    void deliver(PointerPhase phase, const QMouseEvent& event);
    /// Whether the window is shown but nothing of it is on screen (unmapped or covered).
    bool isHiddenFromView() const;
    void scheduleAreas();
    struct Mark {
        /// Where the row starts, in the host's coordinates.
        QPoint at;
        QRgb ground = 0;
        quint32 key = 0;
    };
    struct HandedOver {
        quint64 frame = 0;
        /// A control's count starts with the frame or the frame first draws it ready: it is on the screen only once
        /// the screen is seen to show it.
        bool awaited = false;
        /// The frame's mark; none on an awaited frame that could not draw it, which a later one then proves.
        std::optional<Mark> mark;
    };

    /// Draws the frame's mark where the views asked for it, within the part of the window the frame covers.
    void drawMark(QPainter& painter, const QRegion& drawn, HandedOver& handed);
    /// The frame has been handed to the display.
    void handedOver(const HandedOver& handed);
    /// Marks the frames handed over as shown, in order, up to the newest one awaited that the screen is seen to
    /// show; watches on while one is not.
    void showHandedOver();
    /// Whether the frame of mark can be taken as on the screen: the screen shows the mark, or cannot be looked at
    /// there (no compositing manager, a window above it, a screen that cannot say).
    bool showsOrCannotTell(const Mark& mark, bool composited) const;

    ViewEnvironment m_environment;
    EventClock m_eventClock;
    EventClock::DisplayTime m_displayTime;
    Screen m_screen;
    /// The mark the frames draw now, the one the window holds as last drawn, and the key of the last one made.
    std::optional<Mark> m_mark;
    std::optional<Mark> m_drawnMark;
    quint32 m_lastKey = 0;
    std::deque<HandedOver> m_handedOver;
    /// Since when the screen is watched for the oldest frame awaited.
    std::optional<qint64> m_watchSinceMs;
    QTimer m_watchTimer;
    FrameTimes m_frames;
    FramePump m_pump;
    std::vector<Area> m_areas;
    QTimer m_areaTimer;
    std::unique_ptr<View> m_root;
};

} // namespace murmeli::notch
