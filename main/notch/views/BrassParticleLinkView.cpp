#include "main/notch/views/BrassParticleLinkView.h"

#include <cmath>

#include <QPainter>

namespace murmeli::notch {

namespace {

const QColor halo(227, 178, 92);
const QColor core(252, 232, 184);

qreal radiusOf(int particle)
{
    return particle == 0 ? 4.5 : particle == 1 ? 4.0 : 3.5;
}

} // namespace

BrassParticleLinkView::BrassParticleLinkView(const ViewEnvironment& environment, QPointF from, QPointF to)
    : m_from(from), m_to(to), m_startMs(environment.nowMs())
{
}

double BrassParticleLinkView::easeOutQuint(double t)
{
    return 1 - std::pow(1 - t, 5);
}

QPointF BrassParticleLinkView::quadBezier(QPointF from, QPointF control, QPointF to, double t)
{
    const double u = 1 - t;
    return u * u * from + 2 * u * t * control + t * t * to;
}

double BrassParticleLinkView::particleOpacity(double p)
{
    if (p < 0) {
        return 0;
    }
    if (p < 0.15) {
        return p / 0.15;
    }
    if (p < 0.7) {
        return 1;
    }
    if (p < 1) {
        return (1 - p) / 0.3;
    }
    return 0;
}

QPointF BrassParticleLinkView::control() const
{
    return { (m_from.x() + m_to.x()) / 2, m_from.y() + (m_to.y() - m_from.y()) * 0.55 };
}

void BrassParticleLinkView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const double elapsed = (nowMs - m_startMs) / 1000.0;
    if (elapsed >= cutOff) {
        return;
    }
    const QPointF offset = frame.topLeft();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < particleCount; ++i) {
        const double p = (elapsed - i * cascadeStep * duration) / duration;
        if (p < 0 || p > 1.05) {
            continue;
        }
        const QPointF at = offset + quadBezier(m_from, control(), m_to, easeOutQuint(std::min(p, 1.0)));
        const double a = particleOpacity(p);
        const qreal r = radiusOf(i);
        QColor glow = halo;
        glow.setAlphaF(static_cast<float>(0.35 * a));
        painter.setBrush(glow);
        painter.drawEllipse(at, 1.8 * r, 1.8 * r);
        QColor centre = core;
        centre.setAlphaF(static_cast<float>(a));
        painter.setBrush(centre);
        painter.drawEllipse(at, r, r);
    }
    painter.restore();
}

bool BrassParticleLinkView::isAnimating(qint64 nowMs) const
{
    return (nowMs - m_startMs) / 1000.0 < cutOff;
}

} // namespace murmeli::notch
