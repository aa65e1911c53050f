#include "main/notch/views/PttWave.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchMotion.h"

namespace murmeli::notch {

PttWave::PttWave(const ViewEnvironment& environment)
{
    const bool still = environment.reducesMotion();
    const qint64 now = environment.nowMs();
    const MotionCurve swing = MotionCurve::easeInOut(NotchMotion::pttWaveSec * 0.5);
    for (int i = 0; i < barCount; ++i) {
        Bar& bar = m_bars[i];
        if (still) {
            bar.height = Animation::still(0.6);
            bar.opacity = Animation::still(0.9);
            continue;
        }
        const auto delay = static_cast<qint64>(delays[i] * 1000);
        bar.height = Animation(0.2, 0.95, now, swing).repeatingForever(true).delayed(delay);
        bar.opacity = Animation(0.6, 1.0, now, swing).repeatingForever(true).delayed(delay);
    }
}

QSizeF PttWave::idealSize() const
{
    return { barCount * barWidth + (barCount - 1) * barSpacing, height };
}

void PttWave::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ui::Color::vantorBrass);
    const qreal base = painter.opacity();
    for (int i = 0; i < barCount; ++i) {
        const qreal h = barFraction(i, nowMs) * height;
        painter.setOpacity(base * barOpacity(i, nowMs));
        const QRectF bar(box.left() + i * (barWidth + barSpacing), box.center().y() - h / 2, barWidth, h);
        painter.drawRoundedRect(bar, 1, 1);
    }
    painter.restore();
}

bool PttWave::isAnimating(qint64 nowMs) const
{
    return m_bars[0].height.isRunning(nowMs);
}

} // namespace murmeli::notch
