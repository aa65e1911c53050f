#include "main/settings/views/widgets/Kbd.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/app/design/Tokens.h"
#include "main/notch/kit/Faces.h"
#include "main/settings/views/widgets/KitPainting.h"
#include "main/settings/views/widgets/SettingsDesign.h"

namespace murmeli::settings {

namespace {

constexpr int paddingH = 7;
constexpr int paddingV = 3;
constexpr qreal radius = 4;

} // namespace

Kbd::Kbd(const QString& label, QWidget* parent) : QWidget(parent), m_label(label)
{
    setFont(notch::Faces::geistMono(11));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Kbd::setLabel(const QString& label)
{
    m_label = label;
    updateGeometry();
    update();
}

QSize Kbd::sizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.horizontalAdvance(m_label) + 2 * paddingH, metrics.height() + 2 * paddingV };
}

void Kbd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF box(rect());
    KitPainting::roundedBox(painter, box, radius, app::Color::vantorSurface3,
        SettingsDesign::withOpacity(app::Color::vantorTextMuted, 0.3), 0.5);
    painter.setPen(app::Color::vantorText);
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, m_label);
}

} // namespace murmeli::settings
