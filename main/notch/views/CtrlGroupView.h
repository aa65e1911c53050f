#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QtGlobal>

#include "main/notch/kit/Aim.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/views/CtrlToggle.h"

namespace murmeli::notch {

/// The expanded strip's pill of three buttons: mute or unmute the spoken announcements, open the settings, quit.
/// The panel opens under the pointer, and on a screen without a notch the pill lies where it does: a hand reaching
/// for the strip, from below or along the top edge from the side, opens the panel and runs on onto a button, and the
/// click that follows was meant for the strip. So a button takes a press only when the person can have aimed at it:
/// the pointer came onto it in a motion that began once the opening panel had come to rest, and the button has been
/// drawn hovered for aimMs since. A press on any other button does nothing at all (it neither acts nor closes the
/// panel).
class CtrlGroupView final : public View {
public:
    static constexpr qreal spacing = 2;
    static constexpr qreal padding = 2;
    /// A pause of the pointer this long ends one motion of the hand; the next move begins another.
    static constexpr qint64 restMs = 250;
    /// How long a button shows its hover before it takes a press.
    static constexpr qint64 aimMs = 250;

    CtrlGroupView(const ViewEnvironment& environment, bool isMuted, std::function<void()> onToggleMute,
        std::function<void()> onOpenSettings);

    /// New inputs from the parent; the buttons' pressed states stay.
    void update(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    /// The power button; QCoreApplication::quit unless the owner sets another.
    std::function<void()> onQuit;

    /// When the opening panel comes to rest, on the environment's clock; the buttons are at rest from the start
    /// unless told otherwise. A later time starts the pill afresh: the panel opened again.
    void setSettlesAt(qint64 ms);
    /// The button drawn hovered (the pointer came onto it once the panel was at rest), or -1.
    int hoveredToggle() const { return m_hovered; }
    /// The button that takes a press now (hovered, and drawn so for aimMs), or -1.
    int armedToggle() const;

    const CtrlToggle& toggle(int index) const { return *m_toggles[index]; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;

private:
    void configure(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);
    /// The button at pos as the last frame drew them, or -1.
    int toggleAt(QPointF pos) const;
    /// Follows a move of the pointer to pos; true when the hovered button changed.
    bool follow(QPointF pos);
    void setHovered(int index);

    const ViewEnvironment& m_environment;
    std::array<std::unique_ptr<CtrlToggle>, 3> m_toggles;
    std::array<Aim, 3> m_aims;
    qint64 m_settlesAt = 0;
    /// The pointer's last move, and when the motion it belongs to began.
    std::optional<qint64> m_lastMoveMs;
    qint64 m_motionStartMs = 0;
    // The pointer left the panel, and the motion that brings it back began out there: a panel that stayed open for a
    // waiting request was not watched on the way in any more than one that was opening.
    bool m_pointerOutside = false;
    bool m_motionCameFromOutside = false;
    int m_hovered = -1;
    /// When a frame first drew the hovered button so.
    std::optional<qint64> m_hoverShownAt;
};

} // namespace murmeli::notch
