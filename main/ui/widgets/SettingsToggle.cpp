#include "main/ui/widgets/SettingsToggle.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/FocusRing.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

SettingsToggle::SettingsToggle(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setProperty(FocusRing::radiusProperty, height / 2.0);
}

void SettingsToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    const QRectF track(0, 0, width, height);
    if (isChecked()) {
        KitPainting::roundedBox(painter, track, height / 2.0, ui::Color::vantorBrass);
    } else {
        KitPainting::roundedBox(painter, track, height / 2.0, ui::Color::vantorSurface3,
            SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.3), 0.5);
    }
    constexpr qreal inset = 2;
    const qreal knob = height - 2 * inset;
    const qreal x = isChecked() ? width - inset - knob : inset;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? ui::Color::vantorSurface : ui::Color::vantorTextMuted);
    painter.drawEllipse(QRectF(x, inset, knob, knob));
}

} // namespace murmeli::ui
