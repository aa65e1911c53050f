#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>

#include <QPointF>
#include <QRectF>
#include <QtGlobal>

#include "main/notch/kit/Standing.h"

namespace murmeli::notch {

/// The hand behind the pointer as the panel hears it. Its moves come in motions, each ended by a rest; a motion the
/// panel did not see begin (it came in from outside the panel, or was under way while the panel sprang open) may
/// have set off for anything.
class Hand final {
public:
    /// A pause of the pointer this long ends one motion of the hand; the next move begins another.
    static constexpr qint64 restMs = 250;

    /// The pointer moved over the panel at nowMs. Every view that hears the move may say so: the same move told
    /// twice changes nothing.
    void moved(qint64 nowMs)
    {
        if (!m_lastMoveMs || nowMs - *m_lastMoveMs >= restMs) {
            m_motionStartMs = nowMs;
            m_fromOutside = false;
        }
        if (std::exchange(m_outside, false)) {
            m_fromOutside = true;
        }
        m_lastMoveMs = nowMs;
    }
    /// The pointer went out of the panel.
    void left()
    {
        m_outside = true;
        ++m_leaves;
    }
    /// How often the pointer went out of the panel: where a control heard it before the last time is no longer known.
    quint64 leaves() const { return m_leaves; }
    /// The panel began to open under the pointer at nowMs: what the hand meets on the way there, until the panel
    /// stands still, was not where it is when the hand set off.
    void opened(qint64 nowMs)
    {
        m_outside = false;
        moved(nowMs);
        m_fromOutside = false;
        m_openedAtMs = nowMs;
        m_stillSinceMs.reset();
    }
    /// The opening panel has been drawn at rest, at nowMs: it stands still on the screen from there.
    void stoodStill(qint64 nowMs) { m_stillSinceMs = nowMs; }
    /// Since when the panel stands still; none while it opens.
    std::optional<qint64> stillSinceMs() const { return m_stillSinceMs; }

    /// The hand moved within the last restMs, over the panel.
    bool isMoving(qint64 nowMs) const { return m_lastMoveMs && !m_outside && nowMs - *m_lastMoveMs < restMs; }
    /// At nowMs the opening panel had not yet been drawn at rest.
    bool isArriving(qint64 nowMs) const { return !m_stillSinceMs || nowMs < *m_stillSinceMs; }
    /// What has stood where it is since sinceMs came there with the opening panel.
    bool cameWithTheOpening(qint64 sinceMs) const { return !m_stillSinceMs || sinceMs <= *m_stillSinceMs; }
    /// The pointer moved over the panel since it began to open.
    bool movedSinceOpening() const { return m_lastMoveMs && *m_lastMoveMs > m_openedAtMs; }
    /// The current motion began over the panel while it was arriving.
    bool setOffWhileArriving() const { return m_lastMoveMs && !m_fromOutside && isArriving(m_motionStartMs); }
    /// Since when the pointer has rested over the panel; none while it is elsewhere.
    std::optional<qint64> restingSince() const { return m_outside ? std::nullopt : m_lastMoveMs; }
    /// The current motion began where the panel saw it, once what the hand meets was drawn there (at sinceMs) and
    /// the panel stood still. A motion that came in from outside the panel began where it could not be seen: it
    /// counts only where outsideCounts, and only when the panel had stood still as it is for a rest before it came
    /// in, so that the person had it in view when they set off.
    bool setOffAfter(qint64 sinceMs, bool outsideCounts) const
    {
        if (!m_lastMoveMs || !m_stillSinceMs) {
            return false;
        }
        const qint64 still = std::max(sinceMs, *m_stillSinceMs);
        if (m_fromOutside) {
            return outsideCounts && m_motionStartMs >= still + restMs;
        }
        return m_motionStartMs >= still;
    }

private:
    std::optional<qint64> m_lastMoveMs;
    qint64 m_motionStartMs = 0;
    qint64 m_openedAtMs = 0;
    /// When the panel last stood still after opening; none while it opens. It stood still from the start.
    std::optional<qint64> m_stillSinceMs = std::numeric_limits<qint64>::min();
    quint64 m_leaves = 0;
    bool m_outside = false;
    bool m_fromOutside = false;
};

/// The rule by which the panel's controls that decide nothing (the strip's buttons, a row, a row's arrow) take a
/// press: it counts when the control was drawn at that place, with that meaning, before the hand set off towards it,
/// and the pointer came onto it by its own move. Then it acts at once. A control that came under the pointer (it slid,
/// scrolled or took another's meaning there) or that the hand met on a way begun before it stood there takes no
/// press, and is drawn so, until the pointer has left it and come back, or has rested on it a beat with nothing on it
/// changed: the person has it in view by then, and no control stays dead under a pointer at rest. Times are those of
/// the events, so a busy machine neither shortens nor lengthens the beat. (A control that decides for an agent waits
/// for its request to stand still instead: see Standing.)
class Aim final {
public:
    /// Why the pointer over the control is not aiming at it.
    enum class Miss {
        None,
        /// The control came under the pointer.
        CameUnder,
        /// The hand met it on a way begun before it was there, or from outside the panel.
        Unaimed,
        /// The hand met it while the opening panel still moved.
        Arriving,
    };

    /// How long the pointer rests on a control it did not aim at before the control is ready: a beat a person
    /// notices. Along the top edge, where a hand slides past and stops a moment before a click meant for the
    /// strip, a little longer.
    static constexpr qint64 readyAfterRestMs = 400;
    static constexpr qint64 readyOnTheEdgeAfterRestMs = 500;

    /// The control is drawn at frame at nowMs; pointer is where the window last saw the pointer (none: not known to
    /// the window, then where the control last heard it). True when the place changed as the eye sees it: by half a
    /// point or more since the frame before (the last frames of a spring, which move it less, do not show). Growing
    /// or shrinking where it stands keeps it the same control for a pointer already on it; one that comes under a
    /// moving hand was met by the hand before it stood there, and one the opening panel brings under a hand on its
    /// way was met while it arrived.
    bool place(const QRectF& frame, const std::optional<QPointF>& pointer, const Hand& hand, qint64 nowMs)
    {
        const QRectF was = std::exchange(m_frame, frame);
        if (!showsMoved(was, frame)) {
            return false;
        }
        const std::optional<QPointF> at = pointer ? pointer : lastHeard(hand);
        const bool under = at && frame.contains(*at);
        const bool wasUnder = at && was.contains(*at);
        const bool moved = showsMoved(QRectF(was.topLeft(), frame.size()), frame);
        m_drawnSince = std::max(m_drawnSince, nowMs);
        hear(at, hand);
        if (!under) {
            setMiss(Miss::None);
        } else if (hand.isArriving(nowMs)) {
            // A hand on its way since the panel began to open meets it; under a pointer at rest since, it came. What
            // the pointer first found it to be stays.
            if (m_miss == Miss::None) {
                setMiss(hand.movedSinceOpening() ? Miss::Arriving : Miss::CameUnder);
            }
        } else if (moved || !wasUnder) {
            setMiss(hand.isMoving(nowMs) ? Miss::Unaimed : Miss::CameUnder);
        }
        return true;
    }
    /// The control means something new where it lies, from sinceMs on.
    void renew(const std::optional<QPointF>& pointer, const Hand& hand, qint64 sinceMs)
    {
        const std::optional<QPointF> at = pointer ? pointer : lastHeard(hand);
        hear(at, hand);
        m_drawnSince = sinceMs;
        setMiss(at && m_frame.contains(*at) ? Miss::CameUnder : Miss::None);
    }
    /// The pointer moved to pos (none: it left), in the hand's current motion; true when the control's readiness
    /// for it changed.
    bool moved(const std::optional<QPointF>& pos, const Hand& hand)
    {
        const std::optional<QPointF> was = lastHeard(hand);
        const bool wasInside = was && m_frame.contains(*was);
        const bool inside = pos && m_frame.contains(*pos);
        hear(pos, hand);
        const Miss before = m_miss;
        if (!inside) {
            setMiss(Miss::None);
        } else if (!wasInside && !hand.setOffAfter(m_drawnSince, !m_onTheEdge)) {
            setMiss(
                hand.setOffWhileArriving() && hand.cameWithTheOpening(m_drawnSince) ? Miss::Arriving : Miss::Unaimed);
        } else if (wasInside && m_restedFrom != Miss::None && *was != *pos
            && hand.restingSince().value_or(m_readyFromMs) < m_readyFromMs) {
            // A busy machine drew a frame, and ended the beat, before it handled this move made within it: the
            // pointer had not rested after all.
            setMiss(m_restedFrom);
        }
        return m_miss != before;
    }
    /// The control lies along the screen's top edge, where a hand slides past on its way elsewhere: a hand that
    /// came in from outside the panel never aims at it before it has rested in the panel.
    void standOnTheEdge() { m_onTheEdge = true; }
    /// A press went down at pos at eventMs (the time it happened): the pointer is there.
    void pressed(QPointF pos, const Hand& hand, qint64 eventMs)
    {
        hear(pos, hand);
        rest(hand, eventMs);
    }
    /// Time went on to ms: a control the pointer did not aim at is ready once the pointer has rested on it its beat.
    /// True when it became ready.
    bool rest(const Hand& hand, qint64 ms)
    {
        const std::optional<qint64> ready = readyAtMs(hand);
        if (!ready || ms < *ready) {
            return false;
        }
        m_restedFrom = m_miss;
        m_miss = Miss::None;
        // Ready from the end of the beat: a press that happened before it, handled only now, still finds it waiting.
        m_readyFromMs = *ready;
        return true;
    }
    /// When the resting pointer makes the control ready; none when it is ready, or the pointer is not at rest on it.
    std::optional<qint64> readyAtMs(const Hand& hand) const
    {
        const std::optional<qint64> resting = hand.restingSince();
        if (m_miss == Miss::None || !resting) {
            return std::nullopt;
        }
        const qint64 still = hand.stillSinceMs().value_or(std::numeric_limits<qint64>::max() / 2);
        return std::max({ *resting, m_drawnSince, still })
            + (m_onTheEdge ? readyOnTheEdgeAfterRestMs : readyAfterRestMs);
    }

    const QRectF& frame() const { return m_frame; }
    Miss miss() const { return m_miss; }
    /// The pointer lies over the control without aiming at it.
    bool isStale() const { return m_miss != Miss::None; }
    /// The hand met the control on its way (not as something came under it): its group is drawn faded as a whole.
    bool wasMet() const { return m_miss == Miss::Unaimed || m_miss == Miss::Arriving; }
    /// A press at pos that happened at eventMs is the person's, and the control takes it.
    bool isAimedAt(QPointF pos, qint64 eventMs) const
    {
        return m_frame.contains(pos) && m_miss == Miss::None && eventMs >= m_readyFromMs;
    }

private:
    /// Where the control last heard the pointer, unless it has been out of the panel since; none: elsewhere.
    std::optional<QPointF> lastHeard(const Hand& hand) const
    {
        return m_atLeaves == hand.leaves() ? m_at : std::nullopt;
    }
    void hear(const std::optional<QPointF>& at, const Hand& hand)
    {
        m_at = at;
        m_atLeaves = hand.leaves();
    }
    void setMiss(Miss miss)
    {
        m_miss = miss;
        m_restedFrom = Miss::None;
        m_readyFromMs = std::numeric_limits<qint64>::min();
    }

    QRectF m_frame;
    qint64 m_drawnSince = 0;
    std::optional<QPointF> m_at;
    quint64 m_atLeaves = 0;
    Miss m_miss = Miss::None;
    /// Why the control was not aimed at before the rest that made it ready; None when it was.
    Miss m_restedFrom = Miss::None;
    /// Since when a control that waited for a rest takes presses.
    qint64 m_readyFromMs = std::numeric_limits<qint64>::min();
    bool m_onTheEdge = false;
};

/// Controls that belong together, as a card's buttons: when the hand met one of them on a way begun before they stood
/// there (or while they arrived), none of them is ready, and all are drawn so; otherwise only one that came under the
/// pointer is not.
template <std::size_t N> bool isReady(const std::array<Aim, N>& group, std::size_t index)
{
    const bool met = std::any_of(group.begin(), group.end(), [](const Aim& aim) { return aim.wasMet(); });
    return !met && !group[index].isStale();
}

} // namespace murmeli::notch
