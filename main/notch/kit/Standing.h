#pragma once

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include <QRectF>
#include <QtGlobal>

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
/// control where it stays, whole in view, with the panel standing still; it starts again whenever the control moves,
/// leaves the view or takes another meaning. Where the pointer has been says nothing either way.
class Standing final {
public:
    /// How long a decision has to have stood: the time a person takes to see that what they are about to answer is
    /// not what they answered a moment ago.
    static constexpr qint64 decisionMs = 1000;

    explicit Standing(qint64 delayMs = decisionMs) : m_delayMs(delayMs) { }

    /// The control is drawn at frame by the frame at frameMs; inView: all that it decides about can be seen;
    /// panelStillSinceMs: since when the panel stands still, none while it moves.
    void place(const QRectF& frame, bool inView, std::optional<qint64> panelStillSinceMs, qint64 frameMs)
    {
        const QRectF was = std::exchange(m_frame, frame);
        if (!inView || !panelStillSinceMs || frame.isEmpty()) {
            m_sinceMs.reset();
            return;
        }
        if (!m_sinceMs || showsMoved(was, frame)) {
            m_sinceMs = frameMs;
        }
        m_sinceMs = std::max(*m_sinceMs, *panelStillSinceMs);
    }
    /// The control means something else from now on: the count starts with the next frame that draws it.
    void renew() { m_sinceMs.reset(); }

    /// When the control takes a press; none while it moves, is out of view, or has not been drawn since it changed.
    std::optional<qint64> readyAtMs() const { return m_sinceMs ? std::optional(*m_sinceMs + m_delayMs) : std::nullopt; }
    /// Whether a press that went down at eventMs counts.
    bool takes(qint64 eventMs) const
    {
        const std::optional<qint64> ready = readyAtMs();
        return ready && eventMs >= *ready;
    }
    /// How far the count has come at ms, from 0 to 1 (ready).
    double progressAt(qint64 ms) const
    {
        if (!m_sinceMs) {
            return 0;
        }
        return std::clamp(
            static_cast<double>(ms - *m_sinceMs) / static_cast<double>(std::max<qint64>(m_delayMs, 1)), 0.0, 1.0);
    }
    const QRectF& frame() const { return m_frame; }

private:
    qint64 m_delayMs = decisionMs;
    QRectF m_frame;
    std::optional<qint64> m_sinceMs;
};

} // namespace murmeli::notch
