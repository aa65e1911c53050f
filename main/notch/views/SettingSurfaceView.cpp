#include "main/notch/views/SettingSurfaceView.h"

#include <QFontMetricsF>
#include <QPainter>

#include "main/ui/design/Faces.h"
#include "main/ui/design/Paragraph.h"
#include "main/ui/design/Symbols.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

namespace {

constexpr qreal paddingX = 14;
constexpr qreal paddingTop = 4;
constexpr qreal spacing = 10;

} // namespace

SettingSurfaceView::SettingSurfaceView(const ViewEnvironment&, std::function<void()> onExit)
    : m_onExit(std::move(onExit))
{
}

void SettingSurfaceView::paint(QPainter& painter, const QRectF& frame, qint64)
{
    const qreal left = frame.left() + paddingX;
    const qreal width = frame.width() - 2 * paddingX;
    qreal y = frame.top() + paddingTop;

    const QFont title = ui::Faces::fraunces(15, QFont::Medium, true);
    const QFontMetricsF titleMetrics(title);
    const qreal headerHeight = std::max<qreal>(titleMetrics.height(), 13);
    ui::Symbols::paint(
        painter, ui::Symbol::GearshapeFill, QRectF(left, y + (headerHeight - 13) / 2, 13, 13), ui::Color::vantorBrass);
    painter.setFont(title);
    painter.setPen(ui::Color::vantorText);
    painter.drawText(QPointF(left + 13 + 6, y + (headerHeight - titleMetrics.height()) / 2 + titleMetrics.ascent()),
        QStringLiteral("Setting"));
    y += headerHeight + spacing;

    const ui::Paragraph text(
        QStringLiteral("\u914D\u7F6E\u754C\u9762\u89C4\u5212\u4E2D \u2014\u2014 "
                       "\u672C\u5361\u9762\u6682\u4E3A\u6700\u5C0F\u53EF\u4EA4\u4E92\u5360\u4F4D\u3002"),
        { ui::Faces::instrumentSans(11, QFont::Normal), ui::Color::vantorTextMuted }, 2);
    text.paint(painter, QPointF(left, y), width);
    y += text.sizeFor(width).height() + spacing + 4;

    const QFont buttonFont = ui::Faces::instrumentSans(11, QFont::Normal);
    const QFontMetricsF buttonMetrics(buttonFont);
    const QSizeF button(buttonMetrics.horizontalAdvance(QStringLiteral("Close")) + 16, buttonMetrics.height() + 6);
    m_closeFrame = QRectF(QPointF(left + width - button.width(), y), button);
    QColor border = ui::Color::vantorTextMuted;
    border.setAlphaF(m_pressed ? 0.9f : 0.6f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(m_closeFrame.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.setFont(buttonFont);
    painter.setPen(ui::Color::vantorTextMuted);
    painter.drawText(m_closeFrame, Qt::AlignCenter, QStringLiteral("Close"));
}

bool SettingSurfaceView::pointer(PointerPhase phase, QPointF pos)
{
    const bool inside = m_closeFrame.contains(pos);
    if (phase == PointerPhase::Down) {
        m_pressed = inside;
        return inside;
    }
    if (phase == PointerPhase::Up && std::exchange(m_pressed, false)) {
        if (inside && m_onExit) {
            m_onExit();
        }
        return true;
    }
    return false;
}

} // namespace murmeli::notch
