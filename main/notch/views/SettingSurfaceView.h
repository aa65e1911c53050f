#pragma once

#include <functional>

#include <QRectF>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// The expanded panel's settings card: a placeholder with a heading, a line of text and a Close button.
class SettingSurfaceView final : public View {
public:
    SettingSurfaceView(const ViewEnvironment& environment, std::function<void()> onExit);

    /// Where the last frame drew the Close button.
    QRectF closeButtonFrame() const { return m_closeFrame; }

    QSizeF idealSize() const override { return {}; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool pointer(PointerPhase phase, QPointF pos) override;

private:
    std::function<void()> m_onExit;
    QRectF m_closeFrame;
    bool m_pressed = false;
};

} // namespace murmeli::notch
