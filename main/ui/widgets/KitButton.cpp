#include "main/ui/widgets/KitButton.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

namespace {

constexpr int paddingH = 14;
constexpr int paddingV = 6;
constexpr qreal radius = 6;

} // namespace

KitButton::KitButton(Style style, const QString& title, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), m_style(style), m_action(std::move(action))
{
    setText(title);
    setFont(ui::Faces::instrumentSans(12, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action) {
            m_action();
        }
    });
}

QSize KitButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return { metrics.horizontalAdvance(text()) + 2 * paddingH, metrics.height() + 2 * paddingV };
}

void KitButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The platform's own look of a disabled control: the whole button dimmed.
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    const QRectF box(rect());
    QColor textColor = ui::Color::vantorText;
    if (m_style == Style::Secondary) {
        KitPainting::roundedBox(painter, box, radius, ui::Color::vantorSurface3);
    } else {
        KitPainting::roundedBox(
            painter, box, radius, QColor(), SettingsDesign::withOpacity(ui::Color::vantorSignalRed, 0.7), 1);
        textColor = ui::Color::vantorSignalRed;
    }
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace murmeli::ui
