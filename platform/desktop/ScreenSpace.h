#pragma once

#include <QPointF>
#include <QRectF>

namespace murmeli::platform {

/// The one translation between the screen layer's y-up points (origin at the bottom left of the primary screen)
/// and the toolkit's y-down window coordinates (origin at the top left of the virtual desktop). Both directions are
/// the same mirror about the primary screen's lower edge, so toQt(fromQt(r)) is r.
class ScreenSpace final {
public:
    /// A space whose primary screen has no extent: y-up is y-down mirrored about 0.
    ScreenSpace() = default;
    /// primaryQtGeometry is the primary screen's rectangle in the toolkit's coordinates.
    explicit ScreenSpace(const QRectF& primaryQtGeometry) : m_primary(primaryQtGeometry) { }

    QRectF fromQt(const QRectF& rect) const;
    QRectF toQt(const QRectF& rect) const;
    QPointF fromQt(const QPointF& point) const;
    QPointF toQt(const QPointF& point) const;

    friend bool operator==(const ScreenSpace&, const ScreenSpace&) = default;

private:
    QRectF m_primary;
};

} // namespace murmeli::platform
