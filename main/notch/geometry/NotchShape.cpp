#include "main/notch/geometry/NotchShape.h"

#include <algorithm>

namespace murmeli::notch {

NotchShape NotchShape::interpolated(const NotchShape& target, double progress) const
{
    return { topCornerRadius + (target.topCornerRadius - topCornerRadius) * progress,
        bottomCornerRadius + (target.bottomCornerRadius - bottomCornerRadius) * progress };
}

QPainterPath NotchShape::path(const QRectF& rect) const
{
    const double limit = std::min(rect.width() / 2, rect.height() / 2);
    const double t = std::min(limit, topCornerRadius);
    const double b = std::min(limit, bottomCornerRadius);
    const double minX = rect.left();
    const double maxX = rect.right();
    const double minY = rect.top();
    const double maxY = rect.bottom();

    QPainterPath path;
    path.moveTo(rect.center().x(), minY);
    path.lineTo(minX + t, minY);
    path.quadTo(minX, minY, minX, minY + t);
    path.lineTo(minX, maxY - b);
    path.quadTo(minX, maxY, minX + b, maxY);
    path.lineTo(maxX - b, maxY);
    path.quadTo(maxX, maxY, maxX, maxY - b);
    path.lineTo(maxX, minY + t);
    path.quadTo(maxX, minY, maxX - t, minY);
    path.lineTo(rect.center().x(), minY);
    path.closeSubpath();
    return path;
}

} // namespace murmeli::notch
