#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <vector>

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
    /// What a screen shows at a point of it, in the display's pixels; none when it cannot say.
    using ScreenPixel = std::function<std::optional<QRgb>(QPoint)>;
    /// How long the host watches the screen for a frame that shows a control ready: a compositing manager draws it
    /// in one of its next frames.
    static constexpr int longestWatchMs = 100;

    /// The display the window is shown on: displayTime reads its clock (which stamps the pointer's events, and whose
    /// answer tells that the display has every frame handed to it); screenPixel reads what its screen shows, where a
    /// compositing manager may draw a frame some time after the display has it. Unset: events happened when they are
    /// handled, and a frame is on the screen once it is handed over.
    void setDisplay(EventClock::DisplayTime displayTime, ScreenPixel screenPixel);
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
    struct HandedOver {
        quint64 frame = 0;
        /// Where the frame shows a control ready for the first time, in the host's coordinates.
        std::optional<QPointF> newlyReadyAt;
    };

    /// The frame has been handed to the display.
    void handedOver(const HandedOver& handed);
    /// Marks the frames handed over as shown, in order; one that shows a control ready for the first time once the
    /// screen shows it there.
    void showHandedOver();
    /// Whether the screen shows what the window drew at local point (in the host's coordinates); none when it
    /// cannot say.
    std::optional<bool> screenShows(QPointF local) const;

    ViewEnvironment m_environment;
    EventClock m_eventClock;
    EventClock::DisplayTime m_displayTime;
    ScreenPixel m_screenPixel;
    std::deque<HandedOver> m_handedOver;
    /// When the frame at the head of the handed over stops being watched for.
    std::optional<qint64> m_watchEndsMs;
    QTimer m_watchTimer;
    FrameTimes m_frames;
    FramePump m_pump;
    std::vector<Area> m_areas;
    QTimer m_areaTimer;
    std::unique_ptr<View> m_root;
};

} // namespace murmeli::notch
