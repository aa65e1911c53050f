#pragma once

#include <optional>
#include <utility>

#include <QPointF>
#include <QRectF>

namespace murmeli::notch {

/// Where a control of the panel lies, and whether the pointer over it came onto it or the control came under the
/// pointer. Only the first is a press the person can have aimed: a control that slid, scrolled or took another's
/// meaning under a pointer at rest takes no press, and shows no hover, until the pointer has left it and come back.
class Aim final {
public:
    /// The control is drawn at frame; at a new place it lies under the pointer where the window last saw it
    /// (none: elsewhere) without the pointer having come onto it. True when the place changed.
    bool place(const QRectF& frame, const std::optional<QPointF>& pointer)
    {
        if (frame == m_frame) {
            return false;
        }
        m_frame = frame;
        renew(pointer);
        return true;
    }
    /// The control means something new where it lies.
    void renew(const std::optional<QPointF>& pointer) { m_stale = pointer && m_frame.contains(*pointer); }
    /// The pointer came onto the control in a way that does not count as aiming at it.
    void spoil() { m_stale = true; }
    /// The pointer moved to pos, or left the window (none); true when that ended the staleness.
    bool moved(const std::optional<QPointF>& pos)
    {
        const bool left = !pos || !m_frame.contains(*pos);
        return left && std::exchange(m_stale, false);
    }

    const QRectF& frame() const { return m_frame; }
    /// The pointer lies over the control without having come onto it.
    bool isStale() const { return m_stale; }
    /// The pointer at pos is over the control, having come onto it.
    bool isAimedAt(QPointF pos) const { return m_frame.contains(pos) && !m_stale; }

private:
    QRectF m_frame;
    bool m_stale = false;
};

} // namespace murmeli::notch
