#pragma once

#include <algorithm>
#include <functional>
#include <optional>

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QRgb>
#include <QtGlobal>

#include "main/common/Clock.h"
#include "main/notch/kit/Aim.h"
#include "main/notch/kit/FrameTimes.h"

namespace murmeli::notch {

/// What every view of one window shares: the clock its animations and timers run on, the system's reduce-motion
/// setting and the way to ask for a new frame. The host owns it and outlives every view it holds.
struct ViewEnvironment {
    common::Clock* clock = nullptr;
    /// Read once by each view when it is made; a change reaches only views made after it.
    std::function<bool()> reduceMotion;
    /// Asks the host to draw again soon, after view-local state changed outside a frame.
    std::function<void()> requestUpdate;
    /// Asks the host to draw rect (in its own coordinates) again within ms: slow motion of a small part, which needs
    /// neither the whole window nor every tick of the frame timer. A view asks again in each frame it draws.
    std::function<void(const QRectF&, int)> requestArea {};
    /// The part of the host the frame being drawn covers, in the host's coordinates; null: all of it.
    QRect redrawing {};
    /// Where the host last saw the pointer, in its coordinates; none while the pointer is elsewhere. A control that
    /// comes to lie under it came under a pointer at rest (see Aim).
    std::optional<QPointF> pointer {};
    /// The hand's motions as the window's views hear them; each control that takes presses tells it of the moves it
    /// hears (see Aim).
    mutable Hand hand {};
    /// When the pointer event being handled happened, on the clock's scale (see EventClock); none outside one.
    std::optional<qint64> eventTimeMs {};
    /// The part of the host that the views being drawn can be seen in, in its coordinates; none: all of it. A list
    /// that scrolls sets it around its rows.
    mutable std::optional<QRectF> viewport {};
    /// The most height the session list can show its rows in, as it last measured them; none: all they take.
    mutable std::optional<qreal> listHeight {};
    /// The host's frames and when they reached the screen; none: a frame is on the screen as it is drawn.
    FrameTimes* frames = nullptr;
    /// A spot of a view's opaque ground (in the host's coordinates) and its colour, where the host draws a mark by
    /// which the screen is seen to show the frame (see FrameMark). A view that decides on what the person saw sets it
    /// in each frame it is drawn in.
    struct MarkSpot {
        QPointF at;
        QRgb ground = 0;
    };
    mutable std::optional<MarkSpot> markSpot {};
    /// Set while drawing by a view whose frame starts a control's count or first draws it ready: the host watches the
    /// screen for the frame's mark, since what the control decides counts from when the screen shows it.
    mutable bool awaitsScreen = false;

    qint64 nowMs() const { return clock->monotonicMs(); }
    /// When the pointer event being handled happened; now outside one.
    qint64 eventMs() const { return eventTimeMs ? *eventTimeMs : nowMs(); }
    bool reducesMotion() const { return reduceMotion && reduceMotion(); }
    void update() const
    {
        if (requestUpdate) {
            requestUpdate();
        }
    }
    /// Whether hostRect (in the host's coordinates) lies in what the frame redraws: a view may skip a child that
    /// does not, which is what makes a frame of one small moving part cheap.
    bool redraws(const QRectF& hostRect) const
    {
        return redrawing.isNull() || redrawing.intersects(hostRect.toAlignedRect());
    }
    void updateArea(const QRectF& rect, int ms) const
    {
        if (requestArea) {
            requestArea(rect, ms);
        }
    }
    /// Draws rect again when the resting pointer makes aim ready, so that it is drawn ready as it takes a press.
    void updateWhenReady(const Aim& aim, const QRectF& rect) const
    {
        if (const std::optional<qint64> ready = aim.readyAtMs(hand)) {
            updateArea(rect, static_cast<int>(std::max<qint64>(1, *ready - nowMs())));
        }
    }
};

} // namespace murmeli::notch
