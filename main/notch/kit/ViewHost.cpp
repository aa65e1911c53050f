#include "main/notch/kit/ViewHost.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

namespace murmeli::notch {

ViewHost::ViewHost(common::Clock& clock, QWidget* parent) : QWidget(parent)
{
    m_environment.clock = &clock;
    m_environment.requestUpdate = [this] { update(); };
    m_pump.onFrame = [this] { update(); };
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

// The root's views may hold timers that call back into the environment; they go before it does.
ViewHost::~ViewHost()
{
    m_root.reset();
}

void ViewHost::setRoot(std::unique_ptr<View> root)
{
    m_root = std::move(root);
    update();
}

void ViewHost::paintFrame(QPainter& painter, qint64 nowMs)
{
    if (!m_root) {
        m_pump.setActive(false);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    m_root->paint(painter, QRectF(rect()), nowMs);
    m_pump.setActive(m_root->isAnimating(nowMs));
}

bool ViewHost::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = m_root ? m_root->toolTipAt(help->pos()) : QString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void ViewHost::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintFrame(painter, m_environment.nowMs());
}

void ViewHost::mousePressEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Down, event->position());
}

void ViewHost::mouseMoveEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Move, event->position());
}

void ViewHost::mouseReleaseEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Up, event->position());
}

void ViewHost::leaveEvent(QEvent*)
{
    if (m_root && m_root->pointerLeft()) {
        update();
    }
}

void ViewHost::wheelEvent(QWheelEvent* event)
{
    // A wheel notch is 120 eighths of a degree; a touchpad reports pixels instead.
    const QPoint pixels = event->pixelDelta();
    const qreal dy = !pixels.isNull() ? pixels.y() : event->angleDelta().y() / 120.0 * wheelStep;
    if (m_root && m_root->wheel(event->position(), dy)) {
        update();
        event->accept();
        return;
    }
    event->ignore();
}

void ViewHost::deliver(PointerPhase phase, QPointF pos)
{
    if (m_root && m_root->pointer(phase, pos)) {
        update();
    }
}

} // namespace murmeli::notch
