#include "main/notch/kit/Stack.h"

#include <algorithm>

namespace murmeli::notch {

qreal rowWidth(const std::vector<RowItem>& items, qreal spacing)
{
    qreal total = 0;
    for (const RowItem& item : items) {
        total += item.width;
    }
    return total + spacing * std::max<qreal>(0, static_cast<qreal>(items.size()) - 1);
}

std::vector<Span> layoutRow(const std::vector<RowItem>& items, qreal spacing, qreal x, qreal width)
{
    const qreal free = std::max<qreal>(0, width - rowWidth(items, spacing));
    const auto flexible = std::count_if(items.begin(), items.end(), [](const RowItem& item) { return item.flexible; });
    const qreal share = flexible > 0 ? free / static_cast<qreal>(flexible) : 0;
    qreal cursor = x + (flexible > 0 ? 0 : free / 2);
    std::vector<Span> spans;
    spans.reserve(items.size());
    for (const RowItem& item : items) {
        const qreal w = item.width + (item.flexible ? share : 0);
        spans.push_back({ cursor, w });
        cursor += w + spacing;
    }
    return spans;
}

QRectF inset(const QRectF& rect, const Insets& insets)
{
    return rect.adjusted(insets.left, insets.top, -insets.right, -insets.bottom);
}

QRectF aligned(const QSizeF& size, const QRectF& frame, Qt::Alignment alignment)
{
    qreal x = frame.left() + (frame.width() - size.width()) / 2;
    if (alignment & Qt::AlignLeft) {
        x = frame.left();
    } else if (alignment & Qt::AlignRight) {
        x = frame.right() - size.width();
    }
    qreal y = frame.top() + (frame.height() - size.height()) / 2;
    if (alignment & Qt::AlignTop) {
        y = frame.top();
    } else if (alignment & Qt::AlignBottom) {
        y = frame.bottom() - size.height();
    }
    return { QPointF(x, y), size };
}

} // namespace murmeli::notch
