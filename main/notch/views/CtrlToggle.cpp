#include "main/notch/views/CtrlToggle.h"

#include <QPainter>

#include "main/notch/kit/Stack.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

CtrlToggle::CtrlToggle(
    const ViewEnvironment& environment, ui::Symbol symbol, QColor tint, bool isActive, std::function<void()> action)
    : m_environment(environment), m_symbol(symbol), m_tint(tint), m_isActive(isActive), m_action(std::move(action))
{
}

void CtrlToggle::update(ui::Symbol symbol, QColor tint, bool isActive, std::function<void()> action)
{
    if (symbol != m_symbol) {
        cancelPress();
    }
    m_symbol = symbol;
    m_tint = tint;
    m_isActive = isActive;
    m_action = std::move(action);
}

void CtrlToggle::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    m_frame = aligned(idealSize(), frame);
    const qreal scale = m_scale.valueAt(nowMs);
    painter.save();
    painter.translate(m_frame.center());
    painter.scale(scale, scale);
    const QRectF local(-width / 2, -height / 2, width, height);
    if (m_isActive) {
        QColor fill = ui::Color::vantorBrass;
        fill.setAlphaF(0.14f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(local, height / 2, height / 2);
    }
    if (m_hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 41));
        painter.drawRoundedRect(local, height / 2, height / 2);
    }
    QColor icon = m_isActive ? ui::Color::vantorBrass : m_tint;
    if (!m_isActive && !m_hovered) {
        icon.setAlphaF(icon.alphaF() * 0.75f);
    }
    ui::Symbols::paint(painter, m_symbol, aligned(QSizeF(symbolSize, symbolSize), local), icon);
    painter.restore();
}

bool CtrlToggle::pointer(PointerPhase phase, QPointF pos)
{
    switch (phase) {
    case PointerPhase::Down:
        if (!m_frame.contains(pos)) {
            return false;
        }
        setPressed(true);
        return true;
    case PointerPhase::Move:
        return false;
    case PointerPhase::Up:
        if (!m_pressed) {
            return false;
        }
        setPressed(false);
        if (m_frame.contains(pos) && m_action) {
            m_action();
        }
        return true;
    }
    return false;
}

void CtrlToggle::setPressed(bool pressed)
{
    if (pressed == m_pressed) {
        return;
    }
    m_pressed = pressed;
    const qint64 now = m_environment.nowMs();
    m_scale = Animation(m_scale.valueAt(now), pressed ? 0.95 : 1.0, now, MotionCurve::easeOut(pressSeconds));
    m_environment.update();
}

} // namespace murmeli::notch
