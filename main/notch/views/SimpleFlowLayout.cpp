#include "main/notch/views/SimpleFlowLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace murmeli::notch {

SimpleFlowLayout::Rows SimpleFlowLayout::computeRows(const std::vector<Measure>& children, qreal maxWidth) const
{
    Rows result;
    result.rows.emplace_back();
    const bool unbounded = std::isinf(maxWidth) || std::isnan(maxWidth);
    const std::optional<qreal> proposal = unbounded ? std::nullopt : std::optional<qreal>(maxWidth);
    qreal rowWidth = 0;
    qreal widest = 0;
    qreal stacked = 0;
    for (const Measure& measure : children) {
        const QSizeF size = measure(proposal);
        const qreal width = !unbounded && size.width() > maxWidth ? maxWidth : size.width();
        RowInfo& row = result.rows.back();
        const qreal candidate = row.sizes.empty() ? width : rowWidth + m_spacing + width;
        if (unbounded || row.sizes.empty() || candidate <= maxWidth) {
            row.sizes.emplace_back(width, size.height());
            row.height = std::max(row.height, size.height());
            rowWidth = candidate;
            continue;
        }
        widest = std::max(widest, rowWidth);
        stacked += row.height + m_lineSpacing;
        result.rows.push_back({ { QSizeF(width, size.height()) }, size.height() });
        rowWidth = width;
    }
    result.size = QSizeF(std::max(widest, rowWidth), stacked + result.rows.back().height);
    return result;
}

QSizeF SimpleFlowLayout::sizeThatFits(std::optional<qreal> width, const std::vector<Measure>& children) const
{
    const qreal maxWidth = width.value_or(std::numeric_limits<qreal>::infinity());
    const Rows rows = computeRows(children, maxWidth);
    const bool finite = width && std::isfinite(*width);
    return { finite ? *width : rows.size.width(), rows.size.height() };
}

std::vector<QRectF> SimpleFlowLayout::place(const QRectF& bounds, const std::vector<Measure>& children) const
{
    const Rows rows = computeRows(children, bounds.width());
    std::vector<QRectF> frames;
    frames.reserve(children.size());
    qreal y = bounds.top();
    for (const RowInfo& row : rows.rows) {
        qreal x = bounds.left();
        for (const QSizeF& size : row.sizes) {
            frames.emplace_back(QPointF(x, y), size);
            x += size.width() + m_spacing;
        }
        y += row.height + m_lineSpacing;
    }
    return frames;
}

} // namespace murmeli::notch
