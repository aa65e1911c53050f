#include "main/notch/views/WarnGlyph.h"

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/Stack.h"
#include "main/ui/design/Symbols.h"
#include "main/notch/layout/NotchMotion.h"

namespace murmeli::notch {

WarnGlyph::WarnGlyph(const ViewEnvironment& environment)
{
    m_pulse = environment.reducesMotion()
        ? Animation::still(0.95)
        : Animation(0.55, 1.0, environment.nowMs(), MotionCurve::easeInOut(NotchMotion::amberPulseSec * 0.5))
              .repeatingForever(true);
}

void WarnGlyph::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    painter.save();
    painter.setOpacity(painter.opacity() * m_pulse.valueAt(nowMs));
    ui::Symbols::paint(
        painter, ui::Symbol::ExclamationmarkTriangleFill, aligned(idealSize(), frame), ui::Color::vantorSignalAmber);
    painter.restore();
}

} // namespace murmeli::notch
