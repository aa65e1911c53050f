#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QPointF>
#include <QtGlobal>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/notch/views/CtrlToggle.h"

namespace murmeli::notch {

/// The expanded strip's pill of three buttons: mute or unmute the spoken announcements, open the settings, quit.
/// The panel opens under the pointer, and on a screen without a notch the pill lies where it does: a pointer gliding
/// up onto the strip opens the panel and runs on onto a button while the panel is still springing open, and the
/// click that follows was meant for the strip. So a button takes a press only when the pointer came onto it after the
/// opening panel had come to rest; a press on any other button does nothing at all (it neither acts nor closes the
/// panel).
class CtrlGroupView final : public View {
public:
    static constexpr qreal spacing = 2;
    static constexpr qreal padding = 2;

    CtrlGroupView(const ViewEnvironment& environment, bool isMuted, std::function<void()> onToggleMute,
        std::function<void()> onOpenSettings);

    /// New inputs from the parent; the buttons' pressed states stay.
    void update(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);

    /// The power button; QCoreApplication::quit unless the owner sets another.
    std::function<void()> onQuit;

    /// When the opening panel comes to rest, on the environment's clock; the buttons are at rest from the start
    /// unless told otherwise. A later time starts the pill afresh: the panel opened again, with the pointer at
    /// pointerAtOpen where that is known.
    void setSettlesAt(qint64 ms, std::optional<QPointF> pointerAtOpen = std::nullopt);
    /// The button that takes a press now (the pointer came onto it once the panel was at rest), or -1.
    int armedToggle() const { return m_armed; }

    const CtrlToggle& toggle(int index) const { return *m_toggles[index]; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    void configure(bool isMuted, std::function<void()> onToggleMute, std::function<void()> onOpenSettings);
    /// The button at pos as the last frame drew them, or -1.
    int toggleAt(QPointF pos) const;

    const ViewEnvironment& m_environment;
    std::array<std::unique_ptr<CtrlToggle>, 3> m_toggles;
    qint64 m_settlesAt = 0;
    std::optional<QPointF> m_pointerAtOpen;
    /// The button the pointer was last seen over (-1: none); unset until the pill first sees the pointer, which may
    /// have been over a button since before the panel came to rest.
    std::optional<int> m_under;
    int m_armed = -1;
};

} // namespace murmeli::notch
