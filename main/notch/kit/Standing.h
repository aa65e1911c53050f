#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include <QRectF>
#include <QtGlobal>

#include "main/notch/kit/FrameTimes.h"

namespace murmeli::notch {

/// Whether an edge of to lies half a point or more from the same edge of from: a move the eye sees. The last frames of
/// a spring, which move a thing less, do not show.
inline bool showsMoved(const QRectF& from, const QRectF& to)
{
    constexpr qreal seen = 0.5;
    return from.isNull() != to.isNull() || std::abs(to.left() - from.left()) >= seen
        || std::abs(to.top() - from.top()) >= seen || std::abs(to.right() - from.right()) >= seen
        || std::abs(to.bottom() - from.bottom()) >= seen;
}

/// The rule by which a control that decides something takes a press: the person has had what it decides in full view,
/// unchanged and at rest, for a while when the button goes down. The count starts with the first frame that draws the
/// control where it stays, whole in view, with the panel standing still, once the screen shows that frame; it starts
/// again whenever the control moves, leaves the view or takes another meaning. Where the pointer has been says nothing
/// either way. A press counts only once the frame that first drew the control ready has reached the screen: what the
/// person saw when they pressed is what the press does.
class Standing final {
public:
    /// How long a decision has to have stood: the time a person takes to see that what they are about to answer is
    /// not what they answered a moment ago.
    static constexpr qint64 decisionMs = 1000;

    explicit Standing(qint64 delayMs = decisionMs) : m_delayMs(delayMs) { }

    /// The control is drawn at frame by the frame numbered frameNumber, drawn at frameMs; inView: all that it decides
    /// about can be seen; panelStillSinceMs: since when the panel stands still, none while it moves. frames tells when
    /// the frames reached the screen; none: as they were drawn.
    void place(const QRectF& frame, bool inView, std::optional<qint64> panelStillSinceMs, qint64 frameMs,
        quint64 frameNumber = 0, const FrameTimes* frames = nullptr)
    {
        m_frames = frames;
        const QRectF was = std::exchange(m_frame, frame);
        if (!inView || !panelStillSinceMs || frame.isEmpty()) {
            renew();
            return;
        }
        const std::optional<qint64> since = m_sinceMs;
        if (!m_sinceMs || showsMoved(was, frame)) {
            m_sinceMs = frameMs;
        }
        m_sinceMs = std::max(*m_sinceMs, *panelStillSinceMs);
        if (m_sinceMs != since) {
            m_startFrame = frameNumber;
            m_readyFrame.reset();
        }
        if (!m_readyFrame && drawsReady(frameMs)) {
            m_readyFrame = ReadyFrame { frameNumber, frameMs };
        }
    }
    /// The control means something else from now on: the count starts with the next frame that draws it.
    void renew()
    {
        m_sinceMs.reset();
        m_readyFrame.reset();
    }

    /// When the count ends, and frames from then on draw the control ready; none while it moves, is out of view, has
    /// not been drawn since it changed, or the screen has not shown the frame its count starts with.
    std::optional<qint64> readyAtMs() const
    {
        if (!m_sinceMs) {
            return std::nullopt;
        }
        const std::optional<qint64> shown = m_frames ? m_frames->shownAtMs(m_startFrame) : m_sinceMs;
        return shown ? std::optional(std::max(*shown, *m_sinceMs) + m_delayMs) : std::nullopt;
    }
    /// Whether the frame at ms draws the control ready.
    bool drawsReady(qint64 ms) const
    {
        const std::optional<qint64> ready = readyAtMs();
        return ready && ms >= *ready;
    }
    /// The number of the first frame that drew the control ready; none before one did.
    std::optional<quint64> readyFrame() const
    {
        return m_readyFrame ? std::optional(m_readyFrame->number) : std::nullopt;
    }
    /// Whether what the person sees of the control changes with frameNumber: its count starts with it, or it is the
    /// first to draw it ready. The screen has to be seen to show such a frame.
    bool turnsWith(quint64 frameNumber) const
    {
        return (m_sinceMs && m_startFrame == frameNumber) || readyFrame() == frameNumber;
    }
    /// Whether a press that went down at eventMs counts: the screen showed the control ready by then.
    bool takes(qint64 eventMs) const
    {
        if (!m_readyFrame) {
            return false;
        }
        const std::optional<qint64> shown
            = m_frames ? m_frames->shownAtMs(m_readyFrame->number) : m_readyFrame->drawnAtMs;
        return shown && eventMs >= *shown;
    }
    /// How far the count has come at ms, from 0 to 1 (ready).
    double progressAt(qint64 ms) const
    {
        const std::optional<qint64> ready = readyAtMs();
        if (!ready) {
            return 0;
        }
        return std::clamp(
            static_cast<double>(ms - (*ready - m_delayMs)) / static_cast<double>(std::max<qint64>(m_delayMs, 1)), 0.0,
            1.0);
    }
    const QRectF& frame() const { return m_frame; }

private:
    struct ReadyFrame {
        quint64 number = 0;
        qint64 drawnAtMs = 0;
    };

    qint64 m_delayMs = decisionMs;
    QRectF m_frame;
    std::optional<qint64> m_sinceMs;
    /// The frame the count starts with.
    quint64 m_startFrame = 0;
    const FrameTimes* m_frames = nullptr;
    std::optional<ReadyFrame> m_readyFrame;
};

} // namespace murmeli::notch
