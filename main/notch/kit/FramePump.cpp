#include "main/notch/kit/FramePump.h"

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
