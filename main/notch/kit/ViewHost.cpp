#include "main/notch/kit/ViewHost.h"

#include <algorithm>
#include <utility>

#include <QBackingStore>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

namespace murmeli::notch {

ViewHost::ViewHost(common::Clock& clock, QWidget* parent) : QWidget(parent)
{
    m_environment.clock = &clock;
    m_environment.frames = &m_frames;
    m_environment.requestUpdate = [this] { update(); };
    m_environment.requestArea = [this](const QRectF& rect, int ms) {
        m_areas.push_back({ rect.toAlignedRect().adjusted(-1, -1, 1, 1), std::max(1, ms) });
    };
    m_pump.onFrame = [this] {
        // A window that went out of view gets no frames; it draws afresh when it is exposed again.
        if (isHiddenFromView()) {
            m_pump.setActive(false);
            return;
        }
        update();
    };
    m_watchTimer.setSingleShot(true);
    m_watchTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_watchTimer, &QTimer::timeout, this, [this] { showHandedOver(); });
    m_areaTimer.setSingleShot(true);
    connect(&m_areaTimer, &QTimer::timeout, this, [this] {
        if (canBeSeen()) {
            update(pendingArea());
        }
    });
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
}

// The root's views may hold timers that call back into the environment; they go before it does.
ViewHost::~ViewHost()
{
    m_root.reset();
}

void ViewHost::setDisplay(EventClock::DisplayTime displayTime, ScreenPixel screenPixel)
{
    // Qt keeps only the last of the moves that queue up while the main thread is busy. The hand's rests are read from
    // the times between its moves, so a busy moment would read as a rest, and the move after it as a new aim.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    m_displayTime = displayTime;
    m_screenPixel = std::move(screenPixel);
    m_eventClock = EventClock(std::move(displayTime), [this] { return m_environment.nowMs(); });
}

void ViewHost::setRoot(std::unique_ptr<View> root)
{
    m_root = std::move(root);
    update();
}

QRegion ViewHost::pendingArea() const
{
    QRegion region;
    for (const Area& area : m_areas) {
        region += area.rect;
    }
    return region;
}

bool ViewHost::canBeSeen() const
{
    return isVisible() && !isHiddenFromView() && QGuiApplication::platformName() != QLatin1String("offscreen");
}

bool ViewHost::isHiddenFromView() const
{
    const QWindow* handle = windowHandle();
    return isVisible() && (!handle || !handle->isExposed());
}

void ViewHost::paintFrame(QPainter& painter, qint64 nowMs)
{
    // The areas drawn now are asked for again by the views still moving in them; the others stay due.
    const QRegion drawn = painter.hasClipping() ? painter.clipRegion() : QRegion(rect());
    std::erase_if(m_areas, [&](const Area& area) { return drawn.intersects(area.rect); });
    m_frames.beginFrame();
    m_environment.newlyReadyAt.reset();
    if (!m_root) {
        m_pump.setActive(false);
        scheduleAreas();
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Only a frame of part of the window lets views skip what lies elsewhere. A whole frame (all the window's shape
    // holds, or all of it) draws everything, so that what views note while drawing stays whole.
    const QRegion whole = mask().isEmpty() ? QRegion(rect()) : mask().intersected(rect());
    m_environment.redrawing = whole.subtracted(drawn).isEmpty() ? QRect() : drawn.boundingRect();
    m_root->paint(painter, QRectF(rect()), nowMs);
    m_environment.redrawing = QRect();
    m_pump.setActive(m_root->isAnimating(nowMs) && !isHiddenFromView());
    scheduleAreas();
}

void ViewHost::scheduleAreas()
{
    // While the pump runs it redraws everything anyway; unseen, nothing needs drawing.
    if (m_areas.empty() || m_pump.isActive() || !canBeSeen()) {
        m_areaTimer.stop();
        return;
    }
    const int soonest = std::min_element(m_areas.begin(), m_areas.end(), [](const Area& a, const Area& b) {
        return a.ms < b.ms;
    })->ms;
    if (!m_areaTimer.isActive() || m_areaTimer.remainingTime() > soonest) {
        m_areaTimer.start(soonest);
    }
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

void ViewHost::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // Views skip what lies outside the region: a frame of one moving dot draws the dot, not the window.
    painter.setClipRegion(event->region());
    paintFrame(painter, m_environment.nowMs());
    const HandedOver handed { m_frames.drawn(), std::exchange(m_environment.newlyReadyAt, std::nullopt) };
    if (!canBeSeen()) {
        // No screen shows it: what the display has is all there is.
        if (handed.newlyReadyAt && m_displayTime) {
            m_displayTime();
        }
        m_frames.shown(handed.frame, m_environment.nowMs());
        return;
    }
    // The frame goes to the display once this returns; what comes next in the event loop comes after.
    QMetaObject::invokeMethod(
        this, [this, handed] { handedOver(handed); }, Qt::QueuedConnection);
}

void ViewHost::handedOver(const HandedOver& handed)
{
    m_handedOver.push_back(handed);
    if (handed.newlyReadyAt && m_displayTime) {
        // The display answers once it has handled every request before the question, the frame among them.
        m_displayTime();
    }
    if (!m_watchEndsMs) {
        showHandedOver();
    }
}

void ViewHost::showHandedOver()
{
    while (!m_handedOver.empty()) {
        const HandedOver& head = m_handedOver.front();
        const qint64 now = m_environment.nowMs();
        if (head.newlyReadyAt && m_screenPixel) {
            if (!m_watchEndsMs) {
                m_watchEndsMs = now + longestWatchMs;
            }
            // A compositing manager draws the window's new frame on the screen in a frame of its own.
            if (screenShows(*head.newlyReadyAt) == false && now < *m_watchEndsMs) {
                m_watchTimer.start(1);
                return;
            }
        }
        m_watchEndsMs.reset();
        m_frames.shown(head.frame, now);
        m_handedOver.pop_front();
    }
}

std::optional<bool> ViewHost::screenShows(QPointF local) const
{
    QBackingStore* store = backingStore();
    const auto* drawn = store ? dynamic_cast<const QImage*>(store->paintDevice()) : nullptr;
    const qreal ratio = devicePixelRatioF();
    const QPoint pixel = (local * ratio).toPoint();
    if (!drawn || !drawn->rect().contains(pixel)) {
        return std::nullopt;
    }
    const QRgb mine = drawn->pixel(pixel);
    // Only where the window covers what lies below does the screen show its colour as drawn.
    if (qAlpha(mine) != 255) {
        return std::nullopt;
    }
    const std::optional<QRgb> shown = m_screenPixel((mapToGlobal(local) * ratio).toPoint());
    if (!shown) {
        return std::nullopt;
    }
    return (*shown & RGB_MASK) == (mine & RGB_MASK);
}

void ViewHost::mousePressEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Down, *event);
}

void ViewHost::mouseMoveEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Move, *event);
}

void ViewHost::mouseReleaseEvent(QMouseEvent* event)
{
    deliver(PointerPhase::Up, *event);
}

void ViewHost::leaveEvent(QEvent*)
{
    pointerGone();
}

void ViewHost::pointerGone()
{
    m_environment.pointer.reset();
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

void ViewHost::deliver(PointerPhase phase, const QMouseEvent& event)
{
    const QPointF pos = event.position();
    m_environment.pointer = pos;
    // The views judge a press by when it happened, not by when a busy machine got round to it.
    m_environment.eventTimeMs = m_eventClock.map(event.timestamp(), m_environment.nowMs());
    const bool changed = m_root && m_root->pointer(phase, pos);
    m_environment.eventTimeMs.reset();
    if (changed) {
        update();
    }
}

} // namespace murmeli::notch
