#include "platform/overlay/fake/FakeOverlay.h"

namespace murmeli::platform {

bool FakeOverlay::apply(QWindow& window, const QList<QRect>& rects)
{
    m_regions[&window] = rects;
    ++m_applies;
    return true;
}

std::optional<QList<QRect>> FakeOverlay::regionOf(const QWindow& window) const
{
    const auto it = m_regions.find(&window);
    return it == m_regions.end() ? std::nullopt : std::optional(it->second);
}

bool FakeOverlay::start()
{
    m_watching = !m_refuseStart;
    return m_watching;
}

void FakeOverlay::moveTo(QPoint at)
{
    if (m_watching && onMoved) {
        onMoved(at);
    }
}

void FakeOverlay::pressLeft(QPoint at)
{
    if (m_watching && onLeftPressed) {
        onLeftPressed(at, 0);
    }
}

std::optional<QRect> FakeOverlay::frameOf(quint64 windowId) const
{
    const auto it = m_frames.find(windowId);
    return it == m_frames.end() ? std::nullopt : std::optional(it->second);
}

void FakeOverlay::setFrame(quint64 windowId, std::optional<QRect> frame)
{
    if (frame) {
        m_frames[windowId] = *frame;
    } else {
        m_frames.erase(windowId);
    }
}

bool FakeOverlay::raise(QWindow& /*window*/)
{
    ++m_raises;
    m_covered = m_covered && m_coverStaysAbove;
    return true;
}

bool FakeOverlay::isCovered(QWindow& /*window*/, const QRect& rect) const
{
    return m_covered && !rect.isEmpty();
}

} // namespace murmeli::platform
