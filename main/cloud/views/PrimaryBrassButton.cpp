#include "main/cloud/views/PrimaryBrassButton.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitPainting.h"

namespace murmeli::cloud {

PrimaryBrassButton::PrimaryBrassButton(
    const QString& title, std::function<void()> action, int paddingH, int paddingV, QWidget* parent)
    : QAbstractButton(parent), m_action(std::move(action)), m_paddingH(paddingH), m_paddingV(paddingV)
{
    setText(title);
    setFont(ui::Faces::instrumentSans(12, QFont::DemiBold));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (isEnabled() && m_action) {
            m_action();
        }
    });
}

QColor PrimaryBrassButton::textColor() const
{
    return isEnabled() ? QColor(Qt::black) : ui::Color::vantorTextMuted;
}

QColor PrimaryBrassButton::fillColor() const
{
    return isEnabled() ? ui::Color::vantorBrass : ui::Color::vantorSurface3;
}

QSize PrimaryBrassButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.horizontalAdvance(text()) + 2 * m_paddingH, metrics.height() + 2 * m_paddingV };
}

void PrimaryBrassButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF box(rect());
    ui::KitPainting::roundedBox(painter, box, 6, fillColor());
    painter.setPen(textColor());
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace murmeli::cloud
