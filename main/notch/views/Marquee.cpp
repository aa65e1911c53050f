#include "main/notch/views/Marquee.h"

#include <algorithm>
#include <cmath>

#include <QLinearGradient>
#include <QPainter>

#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchLayout.h"
#include "main/notch/layout/NotchMotion.h"

namespace murmeli::notch {

Marquee::Marquee(const ViewEnvironment& environment, MarqueeSpec spec, std::unique_ptr<View> content)
    : m_environment(environment), m_reduceMotion(environment.reducesMotion()), m_spec(std::move(spec)),
      m_content(std::move(content)), m_contentWidth(m_content->idealSize().width())
{
    // Coming on screen is a restart: for the measured width, and for the scrolling form being shown.
    restartIfNeeded();
}

Marquee::~Marquee()
{
    cancelFinish();
}

void Marquee::update(MarqueeSpec spec, std::unique_ptr<View> content)
{
    const bool wasScrolling = isScrolling();
    m_spec = std::move(spec);
    m_content = std::move(content);
    const qreal width = m_content->idealSize().width();
    if (std::abs(m_contentWidth - width) > ignoredWidthChange) {
        m_contentWidth = width;
        restartIfNeeded();
    } else if (!wasScrolling && isScrolling()) {
        restartIfNeeded();
    }
}

bool Marquee::isScrolling() const
{
    return !m_reduceMotion && (m_spec.loops.has_value() || m_contentWidth > m_spec.maxWidth + overflowSlack);
}

void Marquee::restartIfNeeded()
{
    cancelFinish();
    m_offset = Animation::still(0);
    if (!m_spec.loops && m_contentWidth <= m_spec.maxWidth + overflowSlack) {
        return;
    }
    m_gap = std::max(m_spec.maxWidth - m_contentWidth, minimumGap);
    m_passSeconds = m_spec.loops ? distance() / NotchMotion::marqueePtPerSec : m_spec.duration;
    const qint64 now = m_environment.nowMs();
    if (!m_spec.loops) {
        if (!m_reduceMotion) {
            m_offset = Animation(0, -distance(), now, MotionCurve::linear(m_passSeconds)).repeatingForever(false);
        }
        return;
    }
    const int passes = std::max(1, *m_spec.loops);
    if (!m_reduceMotion) {
        m_offset = Animation(0, -distance(), now, MotionCurve::linear(m_passSeconds)).repeating(passes, false);
    }
    // Still standing, the text has been on show for as long as the passes would have run; the owner hears of it
    // then as well, or a summary strip under reduced motion would never end.
    const auto finishMs = static_cast<qint64>(std::llround(passes * m_passSeconds * 1000.0));
    m_finishTimer = m_environment.clock->schedule(finishMs, [this] {
        m_finishTimer.reset();
        const std::function<void()> onFinish = m_spec.onFinish;
        m_environment.update();
        // Last: the owner may drop this marquee from inside the call.
        if (onFinish) {
            onFinish();
        }
    });
}

void Marquee::cancelFinish()
{
    if (m_finishTimer) {
        m_environment.clock->cancel(*m_finishTimer);
        m_finishTimer.reset();
    }
}

QSizeF Marquee::idealSize() const
{
    const qreal height = m_content->idealSize().height();
    return { isScrolling() ? m_spec.maxWidth : std::min(m_spec.maxWidth, m_contentWidth), height };
}

void Marquee::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    if (!isScrolling()) {
        // Trailing-aligned and unclipped: an overflowing text under reduced motion shows its end.
        const QSizeF content = m_content->idealSize();
        m_content->paint(
            painter, QRectF(box.right() - content.width(), box.top(), content.width(), box.height()), nowMs);
        return;
    }
    paintBand(painter, box, nowMs);
}

void Marquee::paintBand(QPainter& painter, const QRectF& box, qint64 nowMs)
{
    // The layer matches the device pixels it lands on, whatever the device ratio, scale or redirection on the way.
    const QTransform toDevice = painter.deviceTransform();
    const qreal ratio = std::max<qreal>(1.0, std::hypot(toDevice.m11(), toDevice.m12()));
    const QSize pixels(
        static_cast<int>(std::ceil(box.width() * ratio)), static_cast<int>(std::ceil(box.height() * ratio)));
    if (pixels.isEmpty()) {
        return;
    }
    if (m_layer.size() != pixels) {
        m_layer = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    }
    m_layer.setDevicePixelRatio(ratio);
    m_layer.fill(Qt::transparent);
    {
        QPainter band(&m_layer);
        band.setRenderHints(painter.renderHints());
        const QRectF local(QPointF(0, 0), box.size());
        const QSizeF content = m_content->idealSize();
        const qreal first = offsetAt(nowMs);
        m_content->paint(band, QRectF(first, 0, content.width(), local.height()), nowMs);
        m_content->paint(band, QRectF(first + content.width() + m_gap, 0, content.width(), local.height()), nowMs);
        // Each end fades out over marqueeMaskFade points.
        const qreal fade = NotchLayout::marqueeMaskFade / std::max<qreal>(m_spec.maxWidth, 1);
        QLinearGradient mask(local.topLeft(), local.topRight());
        mask.setColorAt(0, Qt::transparent);
        mask.setColorAt(std::min(fade, 0.5), Qt::black);
        mask.setColorAt(std::max(1 - fade, 0.5), Qt::black);
        mask.setColorAt(1, Qt::transparent);
        band.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        band.fillRect(local, mask);
    }
    painter.drawImage(box.topLeft(), m_layer);
}

bool Marquee::isAnimating(qint64 nowMs) const
{
    return m_offset.isRunning(nowMs);
}

} // namespace murmeli::notch
