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
/// click that follows was meant for the strip. So a button takes a press by the panel's one aim rule (see Aim): it
/// lights up, and acts at once, when the pointer came onto it in a motion begun once the opening panel stood still;
/// one the hand met on its way there, or coming back from outside, is drawn faded with the whole pill until the
/// pointer has left it (or, met while the panel arrived, has rested on it a beat). A press on a button that is not lit
/// does nothing at all (it neither acts nor closes the panel), and a release acts only for what the button meant when
/// it went down.
class CtrlGroupView final : public View {
public:
    static constexpr qreal spacing = 2;
    static constexpr qreal padding = 2;
    /// How a button that takes no press now is drawn.
    static constexpr qreal fadedOpacity = 0.45;

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
    /// The button that takes a press now: the hovered one, or -1.
    int armedToggle() const { return m_hovered; }
    /// Whether button index is drawn ready for a press (not faded).
    bool isReady(int index) const;

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
    /// Follows the pointer to pos (none: it left); true when the pill's look changed.
    bool follow(const std::optional<QPointF>& pos);

    const ViewEnvironment& m_environment;
    std::array<std::unique_ptr<CtrlToggle>, 3> m_toggles;
    std::array<Aim, 3> m_aims;
    qint64 m_settlesAt = 0;
    int m_hovered = -1;
};

} // namespace murmeli::notch
