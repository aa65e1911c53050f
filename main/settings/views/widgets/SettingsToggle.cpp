#include "main/settings/views/widgets/SettingsToggle.h"

#include <QPainter>

#include "main/app/design/Tokens.h"
#include "main/settings/views/widgets/KitPainting.h"
#include "main/settings/views/widgets/SettingsDesign.h"

namespace murmeli::settings {

SettingsToggle::SettingsToggle(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SettingsToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    const QRectF track(0, 0, width, height);
    if (isChecked()) {
        KitPainting::roundedBox(painter, track, height / 2.0, app::Color::vantorBrass);
    } else {
        KitPainting::roundedBox(painter, track, height / 2.0, app::Color::vantorSurface3,
            SettingsDesign::withOpacity(app::Color::vantorTextMuted, 0.3), 0.5);
    }
    constexpr qreal inset = 2;
    const qreal knob = height - 2 * inset;
    const qreal x = isChecked() ? width - inset - knob : inset;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? app::Color::vantorSurface : app::Color::vantorTextMuted);
    painter.drawEllipse(QRectF(x, inset, knob, knob));
}

} // namespace murmeli::settings
