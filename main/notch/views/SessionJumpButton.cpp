#include "main/notch/views/SessionJumpButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include "main/notch/kit/Stack.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/TextBound.h"

namespace murmeli::notch {

namespace {

constexpr qreal paddingX = 8;
constexpr qreal paddingY = 3.5;

QFont labelFont()
{
    return ui::Faces::system(10, QFont::DemiBold);
}

} // namespace

SessionJumpButton::SessionJumpButton(
    const ViewEnvironment& environment, QString terminalName, std::function<void()> action)
    : m_environment(environment), m_label(label(terminalName)), m_action(std::move(action))
{
}

QString SessionJumpButton::label(const QString& terminalName)
{
    qsizetype start = 0;
    qsizetype end = terminalName.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (start < end && blank(terminalName.at(start))) {
        ++start;
    }
    while (end > start && blank(terminalName.at(end - 1))) {
        --end;
    }
    const QString trimmed = terminalName.mid(start, end - start);
    return trimmed.isEmpty() ? QStringLiteral("\u2192 Open") : QStringLiteral("\u2192 ") + trimmed;
}

void SessionJumpButton::update(QString terminalName, std::function<void()> action)
{
    m_label = ui::boundedForLayout(label(terminalName));
    m_action = std::move(action);
}

QSizeF SessionJumpButton::idealSize() const
{
    const QFontMetricsF metrics(labelFont());
    return { metrics.horizontalAdvance(m_label) + 2 * paddingX, metrics.height() + 2 * paddingY };
}

void SessionJumpButton::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const std::optional<QPointF>& pointer = m_environment.pointer;
    if (m_aim.place(aligned(idealSize(), frame), pointer, m_environment.hand, nowMs)) {
        m_hovered = false;
    }
    if (m_aim.rest(m_environment.hand, nowMs) && pointer && m_aim.isAimedAt(*pointer, nowMs)) {
        m_hovered = true;
    }
    const QRectF& place = m_aim.frame();
    m_environment.updateWhenReady(m_aim, place);
    painter.save();
    // Under the pointer without having been aimed at, it takes no click, and looks it.
    if (m_aim.isStale()) {
        painter.setOpacity(painter.opacity() * fadedOpacity);
    }
    painter.setPen(Qt::NoPen);
    QColor fill(Qt::white);
    fill.setAlphaF(m_hovered ? 0.12f : 0.06f);
    painter.setBrush(fill);
    painter.drawRoundedRect(place, place.height() / 2, place.height() / 2);
    QColor text(Qt::white);
    text.setAlphaF(m_hovered ? 0.95f : 0.6f);
    painter.setPen(text);
    painter.setFont(labelFont());
    painter.drawText(place, Qt::AlignCenter, m_label);
    painter.restore();
}

bool SessionJumpButton::pointer(PointerPhase phase, QPointF pos)
{
    const bool inside = m_aim.frame().contains(pos);
    switch (phase) {
    case PointerPhase::Move: {
        m_environment.hand.moved(m_environment.eventMs());
        const bool changed = m_aim.moved(pos, m_environment.hand);
        const bool hovered = m_aim.isAimedAt(pos, m_environment.eventMs());
        return hovered != std::exchange(m_hovered, hovered) || changed;
    }
    case PointerPhase::Down:
        m_aim.pressed(pos, m_environment.hand, m_environment.eventMs());
        // Taken either way, so that the row under it does not open or close for it.
        m_pressed = m_aim.isAimedAt(pos, m_environment.eventMs());
        return inside;
    case PointerPhase::Up:
        if (!std::exchange(m_pressed, false)) {
            return false;
        }
        if (inside && m_action) {
            m_action();
        }
        return true;
    }
    return false;
}

bool SessionJumpButton::pointerLeft()
{
    m_pressed = false;
    m_environment.hand.left();
    const bool changed = m_aim.moved(std::nullopt, m_environment.hand);
    return std::exchange(m_hovered, false) || changed;
}

} // namespace murmeli::notch
