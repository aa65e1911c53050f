#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

// Drawing shared by the kit's widgets.
namespace murmeli::ui::KitPainting {

/// A rounded rectangle filled with fill (none when invalid), with a border of width drawn inside its edge (none when
/// width is 0 or border is invalid).
void roundedBox(QPainter& painter, const QRectF& rect, qreal radius, const QColor& fill, const QColor& border = {},
    qreal width = 0);
/// The hairline along a row's top edge.
void topHairline(QPainter& painter, const QRectF& rect);

} // namespace murmeli::ui::KitPainting
