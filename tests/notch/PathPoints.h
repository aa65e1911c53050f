#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>

namespace murmeli::test {

/// The points a path passes through: its moves, its line ends and the end of each curve, without control points;
/// a point that repeats the one before is listed once.
inline QList<QPointF> pathPoints(const QPainterPath& path)
{
    QList<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        const bool curveEnd = element.type == QPainterPath::CurveToDataElement
            && (i + 1 == path.elementCount() || path.elementAt(i + 1).type != QPainterPath::CurveToDataElement);
        const QPointF point(element.x, element.y);
        if ((element.isMoveTo() || element.isLineTo() || curveEnd) && (points.isEmpty() || points.last() != point)) {
            points.append(point);
        }
    }
    return points;
}

} // namespace murmeli::test
