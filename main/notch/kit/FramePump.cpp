#include "main/notch/kit/FramePump.h"

#include <algorithm>
#include <cmath>

namespace murmeli::notch {

FramePump::FramePump(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (onFrame) {
            onFrame();
        }
    });
}

int FramePump::intervalFor(double periodSec)
{
    return std::max(intervalMs, static_cast<int>(std::lround(periodSec * 1000.0 / framesPerPeriod)));
}

void FramePump::setActive(bool active)
{
    if (active == m_timer.isActive()) {
        return;
    }
    if (active) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

} // namespace murmeli::notch
