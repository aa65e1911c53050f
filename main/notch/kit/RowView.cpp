#include "main/notch/kit/RowView.h"

#include <algorithm>

#include "main/notch/kit/Stack.h"

namespace murmeli::notch {

RowView::RowView(qreal spacing, std::vector<std::unique_ptr<View>> children)
    : m_spacing(spacing), m_children(std::move(children))
{
}

void RowView::append(std::unique_ptr<View> child)
{
    m_children.push_back(std::move(child));
}

QSizeF RowView::idealSize() const
{
    std::vector<RowItem> items;
    qreal height = 0;
    for (const auto& child : m_children) {
        const QSizeF size = child->idealSize();
        items.push_back({ size.width() });
        height = std::max(height, size.height());
    }
    return { rowWidth(items, m_spacing), height };
}

void RowView::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF box = aligned(idealSize(), frame);
    qreal x = box.left();
    for (const auto& child : m_children) {
        const QSizeF size = child->idealSize();
        child->paint(painter, QRectF(QPointF(x, frame.center().y() - size.height() / 2), size), nowMs);
        x += size.width() + m_spacing;
    }
}

bool RowView::isAnimating(qint64 nowMs) const
{
    return std::any_of(m_children.begin(), m_children.end(), [&](const auto& c) { return c->isAnimating(nowMs); });
}

} // namespace murmeli::notch
