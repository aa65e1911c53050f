#include "main/notch/views/ApprovalCard.h"

#include <algorithm>

#include <QDebug>
#include <QFontMetricsF>
#include <QPainter>

#include "main/notch/model/SessionRowDisplay.h"
#include "main/notch/views/SystemColors.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Symbols.h"

namespace murmeli::notch {

namespace {

using SystemColors::white;
using SystemColors::withAlpha;

constexpr qreal headerSpacing = 8;
constexpr qreal headerSymbol = 12;
constexpr qreal blockPaddingX = 14;
constexpr qreal blockPaddingY = 12;
constexpr qreal blockRadius = 18;
constexpr qreal buttonPaddingX = 10;
constexpr qreal buttonPaddingY = 8;
constexpr qreal buttonRadius = 10;
constexpr double pressSeconds = 0.1;
const QColor darkBrown = QColor::fromRgbF(0.11f, 0.08f, 0.03f);

QFont headerFont()
{
    return ui::Faces::system(12, QFont::Bold);
}

QFont buttonFont()
{
    return ui::Faces::system(12, QFont::DemiBold);
}

qreal buttonHeight()
{
    return QFontMetricsF(buttonFont()).height() + 2 * buttonPaddingY;
}

} // namespace

ApprovalCard::ApprovalCard(const ViewEnvironment& environment) : m_environment(environment) { }

std::array<ApprovalCard::Button, 3> ApprovalCard::buttons(const QString& toolName)
{
    using notch::NotchApprovalAction;
    return { {
        { QStringLiteral("No"), ButtonKind::Secondary, NotchApprovalAction::Deny,
            QStringLiteral("[notch-diag] Button.tap \u2192 No (deny)") },
        { QStringLiteral("Yes"), ButtonKind::Warning, NotchApprovalAction::AllowOnce,
            QStringLiteral("[notch-diag] Button.tap \u2192 Yes (allowOnce)") },
        { QStringLiteral("Always Allow (") + toolName + QLatin1Char(')'), ButtonKind::Danger,
            NotchApprovalAction::AllowAlways, QStringLiteral("[notch-diag] Button.tap \u2192 Always Allow") },
    } };
}

ApprovalCard::ButtonLook ApprovalCard::look(ButtonKind kind)
{
    switch (kind) {
    case ButtonKind::Secondary:
        return { withAlpha(Qt::white, 0.06), withAlpha(Qt::white, 0.18), withAlpha(Qt::white, 0.85) };
    case ButtonKind::Warning:
        return { SystemColors::orange, Qt::transparent, darkBrown };
    case ButtonKind::Danger:
        return { QColor::fromRgbF(0.2f, 0.04f, 0.04f), withAlpha(SystemColors::red, 0.45), withAlpha(Qt::white, 0.85) };
    }
    return {};
}

QString ApprovalCard::commandText(const QString& commandPreview, const QString& activity)
{
    if (!commandPreview.isEmpty()) {
        return QStringLiteral("$ ") + commandPreview;
    }
    if (!activity.isEmpty()) {
        return QStringLiteral("$ ") + activity;
    }
    return QStringLiteral("$ (awaiting tool details)");
}

QString ApprovalCard::headerText(const QString& toolName)
{
    return notch::sessionRowCommandLabel(toolName) + QStringLiteral(" command");
}

void ApprovalCard::update(const QString& toolName, const QString& commandPreview, const QString& activity,
    std::function<void(notch::NotchApprovalAction)> onApprove)
{
    m_toolName = toolName;
    m_header = headerText(toolName);
    const QString command = commandText(commandPreview, activity);
    if (command != m_command.text()) {
        m_command = ui::Paragraph(command, { ui::Faces::systemMono(13, QFont::DemiBold), withAlpha(Qt::white, 0.9) });
    }
    m_onApprove = std::move(onApprove);
}

qreal ApprovalCard::heightForWidth(qreal width) const
{
    const qreal header = std::max<qreal>(QFontMetricsF(headerFont()).height(), headerSymbol);
    const qreal block = m_command.sizeFor(width - 2 * blockPaddingX).height() + 2 * blockPaddingY;
    return header + spacing + block + spacing + buttonHeight();
}

void ApprovalCard::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    painter.save();
    qreal y = frame.top();
    const QFontMetricsF headerMetrics(headerFont());
    const qreal headerHeight = std::max<qreal>(headerMetrics.height(), headerSymbol);
    ui::Symbols::paint(painter, ui::Symbol::ExclamationmarkTriangleFill,
        QRectF(frame.left(), y + (headerHeight - headerSymbol) / 2, headerSymbol, headerSymbol), SystemColors::orange);
    painter.setFont(headerFont());
    painter.setPen(SystemColors::orange);
    painter.drawText(QPointF(frame.left() + headerSymbol + headerSpacing,
                         y + (headerHeight - headerMetrics.height()) / 2 + headerMetrics.ascent()),
        m_header);
    y += headerHeight + spacing;

    const qreal inner = frame.width() - 2 * blockPaddingX;
    const QRectF block(frame.left(), y, frame.width(), m_command.sizeFor(inner).height() + 2 * blockPaddingY);
    painter.setPen(Qt::NoPen);
    painter.setBrush(darkBrown);
    painter.drawRoundedRect(block, blockRadius, blockRadius);
    painter.setPen(QPen(withAlpha(SystemColors::orange, 0.18), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(block.adjusted(0.5, 0.5, -0.5, -0.5), blockRadius - 0.5, blockRadius - 0.5);
    m_command.paint(painter, QPointF(block.left() + blockPaddingX, block.top() + blockPaddingY), inner);
    y = block.bottom() + spacing;

    const auto all = buttons(m_toolName);
    const qreal width = (frame.width() - 2 * buttonSpacing) / 3;
    for (size_t i = 0; i < all.size(); ++i) {
        const QRectF slot(frame.left() + static_cast<qreal>(i) * (width + buttonSpacing), y, width, buttonHeight());
        m_buttonFrames[i] = slot;
        const double pressed = m_press[i].valueAt(nowMs);
        const ButtonLook colours = look(all[i].kind);
        painter.save();
        const qreal scale = 1 - (1 - pressedScale) * pressed;
        painter.translate(slot.center());
        painter.scale(scale, scale);
        const QRectF local(-slot.width() / 2, -slot.height() / 2, slot.width(), slot.height());
        QColor fill = colours.fill;
        fill.setAlphaF(static_cast<float>(fill.alphaF() * (1 - 0.3 * pressed)));
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(local, buttonRadius, buttonRadius);
        if (colours.border.alpha() > 0) {
            painter.setPen(QPen(colours.border, 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(local.adjusted(0.5, 0.5, -0.5, -0.5), buttonRadius - 0.5, buttonRadius - 0.5);
        }
        painter.setFont(buttonFont());
        painter.setPen(colours.label);
        const QString title
            = QFontMetricsF(buttonFont())
                  .elidedText(all[i].title, Qt::ElideRight, std::max<qreal>(width - 2 * buttonPaddingX, 0));
        painter.drawText(local, Qt::AlignCenter, title);
        painter.restore();
    }
    painter.restore();
}

bool ApprovalCard::isAnimating(qint64 nowMs) const
{
    return std::any_of(m_press.begin(), m_press.end(), [nowMs](const Animation& a) { return a.isRunning(nowMs); });
}

bool ApprovalCard::pointer(PointerPhase phase, QPointF pos)
{
    const auto hit = std::find_if(
        m_buttonFrames.begin(), m_buttonFrames.end(), [pos](const QRectF& r) { return r.contains(pos); });
    const int index = hit == m_buttonFrames.end() ? -1 : static_cast<int>(hit - m_buttonFrames.begin());
    switch (phase) {
    case PointerPhase::Move:
        return false;
    case PointerPhase::Down:
        if (index < 0) {
            return false;
        }
        setPressed(index);
        return true;
    case PointerPhase::Up: {
        const int pressed = m_pressed;
        if (pressed < 0) {
            return false;
        }
        setPressed(-1);
        if (index == pressed) {
            const Button button = buttons(m_toolName)[static_cast<size_t>(index)];
            qInfo().noquote() << button.diagnostic;
            if (m_onApprove) {
                m_onApprove(button.action);
            }
        }
        return true;
    }
    }
    return false;
}

void ApprovalCard::setPressed(int index)
{
    const qint64 now = m_environment.nowMs();
    const auto animate = [&](int i, double target) {
        Animation& press = m_press[static_cast<size_t>(i)];
        press = Animation(press.valueAt(now), target, now, MotionCurve::easeInOut(pressSeconds));
    };
    if (m_pressed >= 0) {
        animate(m_pressed, 0);
    }
    m_pressed = index;
    if (index >= 0) {
        animate(index, 1);
    }
    m_environment.update();
}

} // namespace murmeli::notch
