#include "main/settings/views/widgets/KitButton.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/app/design/Tokens.h"
#include "main/notch/kit/Faces.h"
#include "main/settings/views/widgets/KitPainting.h"
#include "main/settings/views/widgets/SettingsDesign.h"

namespace murmeli::settings {

namespace {

constexpr int paddingH = 14;
constexpr int paddingV = 6;
constexpr qreal radius = 6;

} // namespace

KitButton::KitButton(Style style, const QString& title, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), m_style(style), m_action(std::move(action))
{
    setText(title);
    setFont(notch::Faces::instrumentSans(12, QFont::Medium));
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
    QColor textColor = app::Color::vantorText;
    if (m_style == Style::Secondary) {
        KitPainting::roundedBox(painter, box, radius, app::Color::vantorSurface3);
    } else {
        KitPainting::roundedBox(
            painter, box, radius, QColor(), SettingsDesign::withOpacity(app::Color::vantorSignalRed, 0.7), 1);
        textColor = app::Color::vantorSignalRed;
    }
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(box, Qt::AlignCenter, text());
}

} // namespace murmeli::settings
