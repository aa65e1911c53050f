#include "main/notch/kit/ViewHost.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>
#include <QtMath>

#include "main/notch/kit/FrameMark.h"

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

void ViewHost::setDisplay(EventClock::DisplayTime displayTime, Screen screen)
{
    // Qt keeps only the last of the moves that queue up while the main thread is busy. The hand's rests are read from
    // the times between its moves, so a busy moment would read as a rest, and the move after it as a new aim.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    m_displayTime = displayTime;
    m_screen = std::move(screen);
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
    m_environment.markSpot.reset();
    m_environment.awaitsScreen = false;
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
    HandedOver handed { m_frames.drawn(), std::exchange(m_environment.awaitsScreen, false), std::nullopt };
    drawMark(painter, event->region(), handed);
    if (!canBeSeen() && !m_screen.grab) {
        // No screen shows it: what the display has is all there is.
        if (handed.awaited && m_displayTime) {
            m_displayTime();
        }
        m_frames.shown(handed.frame, m_environment.nowMs());
        return;
    }
    // The frame goes to the display once this returns; what comes next in the event loop comes after.
    QMetaObject::invokeMethod(
        this, [this, handed] { handedOver(handed); }, Qt::QueuedConnection);
}

void ViewHost::drawMark(QPainter& painter, const QRegion& drawn, HandedOver& handed)
{
    const std::optional<ViewEnvironment::MarkSpot> spot = std::exchange(m_environment.markSpot, std::nullopt);
    if (!spot) {
        // Nothing on the screen tells this frame from the one before: it shows once the display has it.
        handed.awaited = false;
        return;
    }
    // A new key for each frame awaited: no frame before it drew that one.
    if (handed.awaited || !m_mark) {
        m_lastKey = FrameMark::nextKey(m_lastKey);
        m_mark = Mark { {}, 0, m_lastKey };
    }
    m_mark->at = spot->at.toPoint();
    m_mark->ground = spot->ground;
    const qreal ratio = devicePixelRatioF();
    const QRect area(m_mark->at, QSize(qCeil(FrameMark::length / ratio), 1));
    const bool held = m_drawnMark && m_drawnMark->at == m_mark->at && m_drawnMark->key == m_mark->key;
    if (!drawn.contains(area)) {
        // This frame leaves the spot as it was: as it holds the mark, or as the next frame draws it there.
        if (held) {
            handed.mark = m_mark;
        } else {
            update(area);
        }
        return;
    }
    painter.save();
    painter.setClipping(false);
    painter.setOpacity(1);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // In the display's own pixels, one to a bit triple.
    painter.setTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    const QPoint first = (QPointF(m_mark->at) * ratio).toPoint();
    const auto pixels = FrameMark(m_mark->ground, m_mark->key).pixels();
    for (int i = 0; i < FrameMark::length; ++i) {
        painter.fillRect(QRect(first.x() + i, first.y(), 1, 1), QColor(pixels[static_cast<size_t>(i)]));
    }
    painter.restore();
    handed.mark = m_drawnMark = m_mark;
}

void ViewHost::handedOver(const HandedOver& handed)
{
    m_handedOver.push_back(handed);
    if (handed.awaited && m_displayTime) {
        // The display answers once it has handled every request before the question, the frame among them.
        m_displayTime();
    }
    showHandedOver();
}

void ViewHost::showHandedOver()
{
    m_watchTimer.stop();
    const qint64 now = m_environment.nowMs();
    // The newest frame whose mark the screen shows: every frame before it was there by then, the one that made the
    // mark among them. A compositing manager may skip frames, but never draws an older one after a newer.
    std::optional<size_t> through;
    std::optional<bool> composited;
    const Mark* looked = nullptr;
    for (size_t i = m_handedOver.size(); i-- > 0 && !through;) {
        const std::optional<Mark>& mark = m_handedOver[i].mark;
        if (!mark || (looked && looked->at == mark->at && looked->key == mark->key)) {
            continue;
        }
        looked = &*mark;
        if (!composited) {
            composited = !m_screen.composited || m_screen.composited();
        }
        if (showsOrCannotTell(*mark, *composited)) {
            through = i;
        }
    }
    bool awaitedShown = false;
    for (size_t i = 0; !m_handedOver.empty(); ++i) {
        const HandedOver& head = m_handedOver.front();
        if (head.awaited && (!through || i > *through)) {
            break;
        }
        awaitedShown = awaitedShown || head.awaited;
        m_frames.shown(head.frame, now);
        m_handedOver.pop_front();
    }
    if (awaitedShown) {
        // What counts from the frame's showing is drawn from now on.
        update();
    }
    if (m_handedOver.empty()) {
        m_watchSinceMs.reset();
        return;
    }
    if (isHiddenFromView()) {
        // Nothing of the window is on the screen to look for; it draws afresh when it is exposed again.
        return;
    }
    if (!m_watchSinceMs || awaitedShown) {
        m_watchSinceMs = now;
    }
    // A compositing manager draws a frame within one of its own; one that stalls is watched at a gentler pace.
    m_watchTimer.start(now - *m_watchSinceMs < closeWatchMs ? 1 : 4);
}

bool ViewHost::showsOrCannotTell(const Mark& mark, bool composited) const
{
    if (!m_screen.grab || !composited) {
        return true;
    }
    const qreal ratio = devicePixelRatioF();
    const QPoint first = (QPointF(mapToGlobal(mark.at)) * ratio).toPoint();
    const std::optional<QImage> shown
        = m_screen.grab(QRect(first, QSize(FrameMark::length, 1)).adjusted(-slack, -slack, slack, slack));
    if (!shown) {
        return true;
    }
    if (FrameMark(mark.ground, mark.key).isShownBy(*shown)) {
        return true;
    }
    // Where another window lies over the spot the screen can never show the mark: the frame counts as the display
    // has it, as where nothing can be watched.
    return m_screen.covered && m_screen.covered(QRect(mark.at, QSize(qCeil(FrameMark::length / ratio), 1)));
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
