#pragma once

#include <QPointF>

#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// Four brass particles that fly, one after another, along a curve from the notch to the top of the window that
/// dictated text is pasted into, fading in and out on the way; nothing is drawn after 0.44 s.
class BrassParticleLinkView final : public View {
public:
    /// Seconds of one particle's flight.
    static constexpr double duration = 0.3;
    static constexpr int particleCount = 4;
    /// How far each particle lags behind the one before it, as a fraction of the flight.
    static constexpr double cascadeStep = 0.1;
    /// From this many seconds on nothing is drawn.
    static constexpr double cutOff = 0.44;

    /// from and to in the overlay's own coordinates (y down); the flight starts when the view is made.
    BrassParticleLinkView(const ViewEnvironment& environment, QPointF from, QPointF to);

    static double easeOutQuint(double t);
    static QPointF quadBezier(QPointF from, QPointF control, QPointF to, double t);
    static double particleOpacity(double p);

    QPointF from() const { return m_from; }
    QPointF to() const { return m_to; }
    /// The curve's control point: halfway across, 55 % of the way down.
    QPointF control() const;

    QSizeF idealSize() const override { return {}; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    QPointF m_from;
    QPointF m_to;
    qint64 m_startMs = 0;
};

} // namespace murmeli::notch
