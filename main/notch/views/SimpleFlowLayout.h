#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QRectF>
#include <QSizeF>

namespace murmeli::notch {

/// Children left to right in rows, a new row whenever the next child would pass the available width, like words
/// in a paragraph; rows start at the leading edge and children sit at the top of their row. Keeps nothing between
/// passes: every sizing and every placing measures the children again.
class SimpleFlowLayout final {
public:
    /// Measures a child for a proposed width (absent: its ideal size).
    using Measure = std::function<QSizeF(std::optional<qreal> width)>;

    SimpleFlowLayout() = default;
    SimpleFlowLayout(qreal spacing, qreal lineSpacing) : m_spacing(spacing), m_lineSpacing(lineSpacing) { }

    qreal spacing() const { return m_spacing; }
    qreal lineSpacing() const { return m_lineSpacing; }

    /// The size wanted for a proposed width: all of a finite width, else the widest row; the rows' height.
    QSizeF sizeThatFits(std::optional<qreal> width, const std::vector<Measure>& children) const;
    /// Each child's rectangle inside bounds, in child order.
    std::vector<QRectF> place(const QRectF& bounds, const std::vector<Measure>& children) const;

private:
    struct RowInfo {
        std::vector<QSizeF> sizes;
        qreal height = 0;
    };
    struct Rows {
        std::vector<RowInfo> rows;
        QSizeF size;
    };

    Rows computeRows(const std::vector<Measure>& children, qreal maxWidth) const;

    qreal m_spacing = 4;
    qreal m_lineSpacing = 2;
};

} // namespace murmeli::notch
