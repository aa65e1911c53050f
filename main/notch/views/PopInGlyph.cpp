#include "main/notch/views/PopInGlyph.h"

#include <algorithm>

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/Stack.h"

namespace murmeli::notch {

namespace {

constexpr double popDamping = 0.55;

} // namespace

std::unique_ptr<PopInGlyph> PopInGlyph::check(const ViewEnvironment& environment)
{
    return std::make_unique<PopInGlyph>(environment, ui::Symbol::CheckmarkCircleFill, ui::Color::vantorSignalGreen, 0.45);
}

std::unique_ptr<PopInGlyph> PopInGlyph::error(const ViewEnvironment& environment)
{
    return std::make_unique<PopInGlyph>(environment, ui::Symbol::XmarkCircleFill, ui::Color::vantorSignalRed, 0.5);
}

PopInGlyph::PopInGlyph(const ViewEnvironment& environment, ui::Symbol symbol, QColor color, double springResponse)
    : m_symbol(symbol), m_color(color),
      m_scale(0.65, 1.0, environment.nowMs(), MotionCurve::spring(springResponse, popDamping)),
      m_opacity(0, 1.0, environment.nowMs(), MotionCurve::spring(springResponse, popDamping))
{
}

void PopInGlyph::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    // The spring overshoots; a scale past 1 shows as such, an opacity past 1 cannot.
    const qreal opacity = std::clamp(m_opacity.valueAt(nowMs), 0.0, 1.0);
    if (opacity <= 0) {
        return;
    }
    const QRectF box = aligned(idealSize(), frame);
    const qreal scale = m_scale.valueAt(nowMs);
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.translate(box.center());
    painter.scale(scale, scale);
    ui::Symbols::paint(painter, m_symbol, QRectF(-side / 2, -side / 2, side, side), m_color);
    painter.restore();
}

} // namespace murmeli::notch
