#pragma once

#include <memory>

#include <QImage>

#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/TopStripView.h"
#include "tests/support/FakeClock.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::notch {
class NotchExpansionState;
}

namespace murmeli::test {

/// A closed strip drawn over the black notch body in a host widget whose clock is fake: what the render tests
/// probe, the snapshot tool photographs and the benchmark times. Time moves only through advance().
class StripScene final {
public:
    struct Options {
        qreal width = 200;
        qreal height = 32;
        /// Width kept over a physical notch; 0: the strip of a screen without one.
        qreal notchReserveWidth = 0;
        bool reduceMotion = false;
    };

    explicit StripScene(Options options);
    ~StripScene();

    FakeClock& clock() { return m_clock; }
    notch::ViewHost& host() { return *m_host; }
    notch::TopStripView& strip() { return *m_strip; }
    const Options& options() const { return m_options; }

    /// Hands the strip these inputs (the strip's height and notch reserve come from the options).
    void show(notch::TopStripInputs inputs);
    /// Hands the strip what the root view would make of vm and state; a finished summary clears vm's flag and
    /// shows the strip again.
    void show(notch::PanelViewModel& vm, const notch::NotchExpansionState& state);
    void advance(qint64 ms) { m_clock.advance(ms); }
    /// The host drawn at the clock's time, through its own paint event, at scale device pixels a point.
    QImage render(qreal scale = 1);

private:
    Options m_options;
    FakeClock m_clock;
    std::unique_ptr<notch::ViewHost> m_host;
    notch::TopStripView* m_strip = nullptr;
};

} // namespace murmeli::test
