#pragma once

#include <QColor>

#include "main/notch/kit/Animation.h"
#include "main/ui/design/Symbols.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewEnvironment.h"

namespace murmeli::notch {

/// A symbol that springs in once when it comes on screen, from 65 % size and invisible to full size with a slight
/// overshoot; it springs in under reduced motion too. The completion check and the error cross.
class PopInGlyph final : public View {
public:
    static constexpr qreal side = 13;

    /// The green check of a completion notice.
    static std::unique_ptr<PopInGlyph> check(const ViewEnvironment& environment);
    /// The red cross of an error notice.
    static std::unique_ptr<PopInGlyph> error(const ViewEnvironment& environment);

    PopInGlyph(const ViewEnvironment& environment, ui::Symbol symbol, QColor color, double springResponse);

    QSizeF idealSize() const override { return { side, side }; }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override;
    bool isAnimating(qint64 nowMs) const override { return m_scale.isRunning(nowMs); }

private:
    ui::Symbol m_symbol;
    QColor m_color;
    Animation m_scale;
    Animation m_opacity;
};

} // namespace murmeli::notch
