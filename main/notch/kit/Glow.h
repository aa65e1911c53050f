#pragma once

#include <QColor>
#include <QPointF>

class QPainter;

namespace murmeli::notch {

/// A filled disc with a soft shadow of the same centre: the shadow is a radial fade of glow from the disc's edge to
/// blur beyond it, an approximation of a Gaussian shadow that costs one gradient fill. opacity applies to the two as
/// one picture.
void paintGlowingDisc(
    QPainter& painter, QPointF centre, qreal radius, const QColor& fill, const QColor& glow, qreal blur, qreal opacity);

} // namespace murmeli::notch
