#include "main/notch/tokens/NotchShapeV3.h"

#include <algorithm>

namespace murmeli::notch {

NotchShapeV3 NotchShapeV3::interpolated(const NotchShapeV3& target, double progress) const
{
    return { topCornerRadius + (target.topCornerRadius - topCornerRadius) * progress,
        bottomCornerRadius + (target.bottomCornerRadius - bottomCornerRadius) * progress };
}

QPainterPath NotchShapeV3::path(const QRectF& rect) const
{
    const double t = std::min({ topCornerRadius, rect.width() / 4, rect.height() / 4 });
    const double b = std::min({ bottomCornerRadius, rect.width() / 4, rect.height() / 2 });
    const double minX = rect.left();
    const double maxX = rect.right();
    const double minY = rect.top();
    const double maxY = rect.bottom();

    QPainterPath path;
    path.moveTo(minX, minY);
    path.quadTo(minX + t, minY, minX + t, minY + t);
    path.lineTo(minX + t, maxY - b);
    path.quadTo(minX + t, maxY, minX + t + b, maxY);
    path.lineTo(maxX - t - b, maxY);
    path.quadTo(maxX - t, maxY, maxX - t, maxY - b);
    path.lineTo(maxX - t, minY + t);
    path.quadTo(maxX - t, minY, maxX, minY);
    path.lineTo(minX, minY);
    path.closeSubpath();
    return path;
}

} // namespace murmeli::notch
