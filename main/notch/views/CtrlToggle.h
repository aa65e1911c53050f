#pragma once

#include <functional>

#include <QColor>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"
#include "main/ui/design/Symbols.h"

namespace murmeli::notch {

/// One icon button of the control group: the symbol in brass on a faint brass capsule while active, otherwise in
/// its tint at 75 %; hovered, at full strength on a light capsule. It shrinks to 95 % while the pointer is held down on
/// it, wherever the pointer then goes, and runs its action on a release inside it.
class CtrlToggle final : public View {
public:
    static constexpr qreal width = 24;
    static constexpr qreal height = 22;
    static constexpr qreal symbolSize = 11;
    static constexpr double pressSeconds = 0.12;

    CtrlToggle(const ViewEnvironment& environment, ui::Symbol symbol, QColor tint, bool isActive,
        std::function<void()> action);

    /// New inputs from the parent; the pressed state stays while the symbol does (it shows what the button does).
    void update(ui::Symbol symbol, QColor tint, bool isActive, std::function<void()> action);
    /// The button held down no longer stands for what it did when it went down: its release does nothing.
    void cancelPress() { setPressed(false); }

    ui::Symbol symbol() const { return m_symbol; }
    bool isActive() const { return m_isActive; }
    bool isPressed() const { return m_pressed; }
    /// The group decides when the pointer is over a button in a way that counts; the button only draws it.
    void setHovered(bool hovered) { m_hovered = hovered; }
    bool isHovered() const { return m_hovered; }
    /// Where the button was last drawn.
    const QRectF& frame() const { return m_frame; }
    double scaleAt(qint64 nowMs) const { return m_scale.valueAt(nowMs); }

    QSizeF idealSize() const override { return { width, height }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_scale.isRunning(nowMs); }
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    void setPressed(bool pressed);

    const ViewEnvironment& m_environment;
    ui::Symbol m_symbol;
    QColor m_tint;
    bool m_isActive = false;
    std::function<void()> m_action;
    bool m_pressed = false;
    bool m_hovered = false;
    Animation m_scale = Animation::still(1);
    QRectF m_frame;
};

} // namespace murmeli::notch
