#pragma once

#include <memory>
#include <vector>

#include "main/notch/kit/View.h"

namespace murmeli::notch {

/// Children side by side at their ideal sizes, spacing apart, centred vertically; the row as a whole sits in the
/// middle of its frame.
class RowView final : public View {
public:
    explicit RowView(qreal spacing, std::vector<std::unique_ptr<View>> children = {});

    void append(std::unique_ptr<View> child);
    const std::vector<std::unique_ptr<View>>& children() const { return m_children; }

    QSizeF idealSize() const override;
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override;

private:
    qreal m_spacing = 0;
    std::vector<std::unique_ptr<View>> m_children;
};

} // namespace murmeli::notch
