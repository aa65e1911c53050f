#pragma once

#include <functional>

#include <QObject>
#include <QTimer>

namespace murmeli::notch {

/// The one 60 Hz frame timer of a window. It runs only while something on screen animates, so a still panel costs
/// no wake-ups at all; the host turns it on and off after each frame.
class FramePump final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FramePump)

public:
    static constexpr int intervalMs = 16;
    /// Frames a repeating motion needs in one period to look smooth.
    static constexpr int framesPerPeriod = 16;

    /// The pace of frames for a motion that repeats every periodSec: framesPerPeriod a period, never faster than the
    /// pump itself. A breath of 2.5 s so needs under 7 frames a second, not 60.
    static int intervalFor(double periodSec);

    explicit FramePump(QObject* parent = nullptr);

    /// Starts or stops the timer; setting the state it already has changes nothing.
    void setActive(bool active);
    bool isActive() const { return m_timer.isActive(); }

    /// Called on every tick while active.
    std::function<void()> onFrame;

private:
    QTimer m_timer;
};

} // namespace murmeli::notch
