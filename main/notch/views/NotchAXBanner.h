#pragma once

#include <functional>

#include "main/notch/kit/Animation.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The one-line amber strip under the notch while the accessibility permission is missing. A click asks for the
/// settings window's permissions; hovering brightens it and shows the pointing hand.
class NotchAXBanner final : public View {
public:
    static constexpr qreal height = 22;
    static constexpr qreal accentWidth = 2;

    explicit NotchAXBanner(const ViewEnvironment& environment);
    ~NotchAXBanner() override;

    static QString message() { return QStringLiteral("Accessibility required \u2014 click to grant"); }
    static QString toolTip()
    {
        return QStringLiteral("Click to open Settings \u2192 Permissions to grant Accessibility access.");
    }

    /// A click on the banner; the owner posts the permissions notification.
    std::function<void()> onClick;

    bool isHovering() const { return m_hovering; }
    /// 0 not hovered, 1 hovered: the tint's and the text's place between their two opacities at nowMs.
    double hoverAt(qint64 nowMs) const { return m_hover.valueAt(nowMs); }

    QSizeF idealSize() const override { return { 0, height }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_hover.isRunning(nowMs); }
    bool pointer(PointerPhase phase, QPointF pos) override;
    bool pointerLeft() override;

private:
    void setHovering(bool hovering);

    const ViewEnvironment& m_environment;
    const bool m_reduceMotion;
    bool m_hovering = false;
    bool m_pressed = false;
    Animation m_hover = Animation::still(0);
    QRectF m_frame;
};

} // namespace murmeli::notch
