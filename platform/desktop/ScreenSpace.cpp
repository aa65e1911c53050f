#include "platform/desktop/ScreenSpace.h"

namespace murmeli::platform {

// x only moves its origin to the primary screen's left edge; y mirrors about the primary screen's lower edge, where
// a rectangle's top (y-down) becomes its bottom (y-up).

QRectF ScreenSpace::fromQt(const QRectF& rect) const
{
    return { rect.x() - m_primary.x(), m_primary.bottom() - rect.bottom(), rect.width(), rect.height() };
}

QRectF ScreenSpace::toQt(const QRectF& rect) const
{
    return { rect.x() + m_primary.x(), m_primary.bottom() - rect.y() - rect.height(), rect.width(), rect.height() };
}

QPointF ScreenSpace::fromQt(const QPointF& point) const
{
    return { point.x() - m_primary.x(), m_primary.bottom() - point.y() };
}

QPointF ScreenSpace::toQt(const QPointF& point) const
{
    return { point.x() + m_primary.x(), m_primary.bottom() - point.y() };
}

} // namespace murmeli::platform
