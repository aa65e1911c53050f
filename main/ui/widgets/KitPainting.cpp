#include "main/ui/widgets/KitPainting.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui::KitPainting {

void roundedBox(
    QPainter& painter, const QRectF& rect, qreal radius, const QColor& fill, const QColor& border, qreal width)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (fill.isValid()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(rect, radius, radius);
    }
    if (border.isValid() && width > 0) {
        // Inside the edge: the shape shrinks by half the line.
        const qreal inset = width / 2;
        painter.setPen(QPen(border, width));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius - inset, radius - inset);
    }
    painter.restore();
}

void topHairline(QPainter& painter, const QRectF& rect)
{
    painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), 0.5),
        SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.06));
}

} // namespace murmeli::ui::KitPainting
