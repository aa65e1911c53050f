#include "main/ui/widgets/SettingsBadge.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::ui {

namespace {

constexpr int dotSize = 6;
constexpr int spacing = 6;
constexpr int paddingH = 8;
constexpr int paddingV = 3;

QFont badgeFont()
{
    QFont font = ui::Faces::instrumentSans(10.5, QFont::Medium);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.1);
    return font;
}

} // namespace

QColor badgeForeground(BadgeKind kind)
{
    switch (kind) {
    case BadgeKind::Active:
        return ui::Color::vantorSignalGreen;
    case BadgeKind::Warn:
        return ui::Color::vantorSignalAmber;
    case BadgeKind::Off:
    case BadgeKind::Soon:
        break;
    }
    return ui::Color::vantorTextMuted;
}

QColor badgeBackground(BadgeKind kind)
{
    return SettingsDesign::withOpacity(badgeForeground(kind), 0.14);
}

SettingsBadge::SettingsBadge(const QString& label, BadgeKind kind, bool showDot, QWidget* parent)
    : QWidget(parent), m_label(label), m_kind(kind), m_showDot(showDot)
{
    setFont(badgeFont());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SettingsBadge::set(const QString& label, BadgeKind kind)
{
    m_label = label;
    m_kind = kind;
    updateGeometry();
    update();
}

QSize SettingsBadge::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int dot = m_showDot ? dotSize + spacing : 0;
    return { 2 * paddingH + dot + metrics.horizontalAdvance(m_label), 2 * paddingV + metrics.height() };
}

void SettingsBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF box(rect());
    KitPainting::roundedBox(painter, box, box.height() / 2, badgeBackground(m_kind));
    const QColor foreground = badgeForeground(m_kind);
    qreal x = paddingH;
    if (m_showDot) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(foreground);
        painter.drawEllipse(QRectF(x, (box.height() - dotSize) / 2, dotSize, dotSize));
        x += dotSize + spacing;
    }
    painter.setPen(foreground);
    painter.setFont(font());
    painter.drawText(QRectF(x, 0, box.width() - x, box.height()), Qt::AlignVCenter | Qt::AlignLeft, m_label);
}

} // namespace murmeli::ui
