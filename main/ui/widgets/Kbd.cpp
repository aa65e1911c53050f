#include "main/ui/widgets/Kbd.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

namespace {

constexpr int paddingH = 7;
constexpr int paddingV = 3;
constexpr qreal radius = 4;

} // namespace

Kbd::Kbd(const QString& label, QWidget* parent) : QWidget(parent), m_label(label)
{
    setFont(ui::Faces::geistMono(11));
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
    KitPainting::roundedBox(painter, box, radius, ui::Color::vantorSurface3,
        SettingsDesign::withOpacity(ui::Color::vantorTextMuted, 0.3), 0.5);
    painter.setPen(ui::Color::vantorText);
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, m_label);
}

} // namespace murmeli::ui
