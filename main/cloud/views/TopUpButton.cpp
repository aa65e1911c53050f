#include "main/cloud/views/TopUpButton.h"

#include <QFontMetrics>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/widgets/KitPainting.h"
#include "main/ui/widgets/SettingsDesign.h"

namespace murmeli::cloud {

namespace {

constexpr int paddingH = 14;
constexpr int paddingV = 10;
constexpr int lineGap = 4;

QFont labelFont()
{
    return ui::Faces::instrumentSans(13, QFont::DemiBold);
}

QFont subFont()
{
    return ui::Faces::instrumentSans(11, QFont::Normal);
}

} // namespace

TopUpButton::TopUpButton(const QString& label, const QString& sub, QWidget* parent)
    : QAbstractButton(parent), m_label(label), m_sub(sub)
{
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setEnabled(false);
}

QString TopUpButton::shownLabel() const
{
    return m_busy ? QStringLiteral("Opening Stripe Checkout… · 跳转 Stripe 支付中") : m_label;
}

void TopUpButton::setState(bool live, bool busy)
{
    m_live = live;
    m_busy = busy;
    setEnabled(live && !busy);
    updateGeometry();
    update();
}

QSize TopUpButton::sizeHint() const
{
    const QFontMetrics label(labelFont());
    const QFontMetrics sub(subFont());
    const int width = std::max(label.horizontalAdvance(shownLabel()), sub.horizontalAdvance(m_sub));
    return { width + 2 * paddingH, label.height() + lineGap + sub.height() + 2 * paddingV };
}

QSize TopUpButton::minimumSizeHint() const
{
    return { 2 * paddingH, sizeHint().height() };
}

void TopUpButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    ui::KitPainting::roundedBox(
        painter, QRectF(rect()), 8, m_live ? ui::Color::vantorBrass : ui::Color::vantorSurface3);
    const QFontMetrics label(labelFont());
    const QRect content = rect().adjusted(paddingH, paddingV, -paddingH, -paddingV);
    painter.setFont(labelFont());
    painter.setPen(m_live ? QColor(Qt::black) : ui::Color::vantorTextMuted);
    painter.drawText(QRect(content.left(), content.top(), content.width(), label.height()),
        Qt::AlignLeft | Qt::AlignVCenter, label.elidedText(shownLabel(), Qt::ElideRight, content.width()));
    painter.setFont(subFont());
    painter.setPen(
        m_live ? ui::SettingsDesign::withOpacity(QColor(Qt::black), 0.75) : ui::Color::vantorTextMuted);
    const int subTop = content.top() + label.height() + lineGap;
    painter.drawText(QRect(content.left(), subTop, content.width(), content.bottom() - subTop + 1),
        Qt::AlignLeft | Qt::AlignTop, QFontMetrics(subFont()).elidedText(m_sub, Qt::ElideRight, content.width()));
}

} // namespace murmeli::cloud
