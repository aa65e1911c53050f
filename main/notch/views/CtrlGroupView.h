#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QPointF>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/views/CtrlToggle.h"

namespace murmeli::notch {

/// The expanded strip's pill of three buttons: mute or unmute the spoken announcements, open the settings, quit.
/// The panel opens under a resting pointer, and on a screen without a notch the pill lies where it rests: so the
/// buttons take clicks only once the pointer has moved away from where it opened the panel (or, when no pointer
/// opened it, from where the pill first saw it). A press before that does nothing at all (it neither acts nor closes
/// the panel).
class CtrlGroupView final : public View {
public:
    static constexpr qreal spacing = 2;
    static constexpr qreal padding = 2;
    /// How far the pointer must go from where it opened the panel before a button acts.
    static constexpr qreal armDistance = 4;

    CtrlGroupView(const ViewEnvironment& environment, bool isMuted, std::function<void()> onToggleMute,
        std::function<void()> onOpenSettings);

    /// New inputs from the parent; the buttons' pressed states stay.
    void update(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    /// The power button; QCoreApplication::quit unless the owner sets another.
    std::function<void()> onQuit;

    /// Where the pointer opened the panel, in the coordinates of the pointer events; taken only before any event.
    void setOpenedAt(std::optional<QPointF> point);
    /// Whether the buttons take clicks: the pointer has moved since the panel opened.
    bool isArmed() const { return m_armed; }

    const CtrlToggle& toggle(int index) const { return *m_toggles[index]; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    void configure(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    std::array<std::unique_ptr<CtrlToggle>, 3> m_toggles;
    std::optional<QPointF> m_firstSeen;
    bool m_armed = false;
};

} // namespace murmeli::notch
