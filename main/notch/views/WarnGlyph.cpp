#include "main/notch/views/WarnGlyph.h"

#include <QPainter>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/Stack.h"
#include "main/notch/layout/NotchMotion.h"
#include "main/ui/design/Symbols.h"
#include "main/ui/design/Tokens.h"

namespace murmeli::notch {

WarnGlyph::WarnGlyph(const ViewEnvironment& environment) : m_environment(environment)
{
    m_pulse = environment.reducesMotion()
        ? Animation::still(0.95)
        : Animation(0.55, 1.0, environment.nowMs(), MotionCurve::easeInOut(NotchMotion::amberPulseSec * 0.5))
              .repeatingForever(true);
}

void WarnGlyph::paint(QPainter& painter, const QRectF& frame, qint64 nowMs)
{
    const QRectF square = aligned(idealSize(), frame);
    painter.save();
    painter.setOpacity(painter.opacity() * m_pulse.valueAt(nowMs));
    ui::Symbols::paint(painter, ui::Symbol::ExclamationmarkTriangleFill, square, ui::Color::vantorSignalAmber);
    painter.restore();
    if (m_pulse.isRunning(nowMs)) {
        // A pixel round it for the edges' smoothing.
        m_environment.updateArea(painter.transform().mapRect(square.adjusted(-1, -1, 1, 1)),
            FramePump::intervalFor(NotchMotion::amberPulseSec));
    }
}

} // namespace murmeli::notch
