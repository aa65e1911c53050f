#include "main/notch/views/NotchAXBanner.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/ui/design/Faces.h"
#include "main/ui/design/Symbols.h"
#include "main/notch/views/SystemColors.h"

namespace murmeli::notch {

namespace {

using SystemColors::white;
using SystemColors::withAlpha;

constexpr qreal paddingX = 10;
constexpr qreal spacing = 6;
constexpr qreal symbolSize = 11;

} // namespace

NotchAXBanner::NotchAXBanner(const ViewEnvironment& environment)
    : m_environment(environment), m_reduceMotion(environment.reducesMotion())
{
}

NotchAXBanner::~NotchAXBanner()
{
    // A banner that goes while hovered must not leave its pointing hand behind.
    setHovering(false);
}

void NotchAXBanner::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    m_frame = frame;
    const double hover = m_hover.valueAt(nowMs);
    painter.save();
    painter.fillRect(frame, withAlpha(ui::Color::vantorSignalAmber, 0.10 + 0.04 * hover));
    painter.fillRect(QRectF(frame.left(), frame.top(), accentWidth, frame.height()), ui::Color::vantorSignalAmber);

    qreal x = frame.left() + accentWidth + paddingX;
    const qreal midY = frame.center().y();
    ui::Symbols::paint(painter, ui::Symbol::ExclamationmarkShieldFill, QRectF(x, midY - symbolSize / 2, symbolSize, symbolSize),
        withAlpha(ui::Color::vantorSignalAmber, 0.92 + 0.08 * hover));
    x += symbolSize + spacing;

    const QFont font = ui::Faces::instrumentSans(10, QFont::Medium);
    const QFontMetricsF metrics(font);
    const qreal room = frame.right() - paddingX - x;
    // One line: a narrow panel cuts the message rather than wrapping it.
    const QString text = metrics.elidedText(message(), Qt::ElideRight, std::max<qreal>(room, 0));
    painter.setFont(font);
    painter.setPen(withAlpha(ui::Color::vantorText, 0.85 + 0.15 * hover));
    painter.drawText(QPointF(x, midY - metrics.height() / 2 + metrics.ascent()), text);
    painter.restore();
}

bool NotchAXBanner::pointer(PointerPhase phase, QPointF pos)
{
    const bool inside = m_frame.contains(pos);
    switch (phase) {
    case PointerPhase::Move:
        if (inside != m_hovering) {
            setHovering(inside);
            return true;
        }
        return false;
    case PointerPhase::Down:
        m_pressed = inside;
        return inside;
    case PointerPhase::Up: {
        const bool clicked = m_pressed && inside;
        m_pressed = false;
        if (clicked && onClick) {
            onClick();
        }
        return clicked;
    }
    }
    return false;
}

bool NotchAXBanner::pointerLeft()
{
    m_pressed = false;
    if (!m_hovering) {
        return false;
    }
    setHovering(false);
    return true;
}

void NotchAXBanner::setHovering(bool hovering)
{
    if (hovering == m_hovering) {
        return;
    }
    m_hovering = hovering;
    // The pointing hand is pushed on the cursor stack on entering and popped once on leaving.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (hovering) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
        } else {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    const double target = hovering ? 1 : 0;
    if (m_reduceMotion) {
        m_hover = Animation::still(target);
    } else {
        const qint64 now = m_environment.nowMs();
        m_hover = Animation(m_hover.valueAt(now), target, now,
            MotionCurve::easeInOut(ui::Tokens::Motion::hoverDuration.count() / 1000.0));
    }
    m_environment.update();
}

} // namespace murmeli::notch
