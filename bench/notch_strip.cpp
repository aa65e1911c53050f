// Times one frame of the closed notch strip while it animates (the breathing brand dot, the working dot and its
// label, the recording wave, the full-width marquee with its masked band) and measures what the strip costs while
// nothing animates: whether any timer runs, how many frames it draws and how much CPU it takes over a stretch of
// real time. Frames are drawn through the host widget's own paint path into a 2× image, as on a high-density screen.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include "main/ui/design/FontFolder.h"
#include "main/common/Clock.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/TopStripView.h"
#include "tests/notch/StripScene.h"

using namespace murmeli;
using namespace murmeli::notch;

namespace {

double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Case {
    const char* name;
    NotchDisplay display;
    test::StripScene::Options options;
};

TopStripInputs inputsFor(const Case& c)
{
    TopStripInputs inputs;
    inputs.display = c.display;
    inputs.sessionCount = 3;
    inputs.attentionPrefix = QStringLiteral("murmeli-api");
    inputs.approvalText = QStringLiteral("Bash: npm run build && npm test -- --coverage --runInBand");
    return inputs;
}

/// Draws up to frames frames 16 ms apart on the fake clock, for as long as the strip animates (a marquee ends after
/// its passes), and reports the time per frame.
void timeFrames(const Case& c, int frames)
{
    test::StripScene scene(c.options);
    scene.show(inputsFor(c));
    const qreal scale = 2;
    QImage target(scene.host().size() * scale, QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(scale);
    std::vector<double> wall;
    wall.reserve(frames);
    const double cpuStart = threadCpuMs();
    for (int i = 0; i < frames; ++i) {
        scene.advance(16);
        target.fill(Qt::transparent);
        QElapsedTimer timer;
        timer.start();
        scene.host().render(&target);
        wall.push_back(timer.nsecsElapsed() / 1e6);
        if (!scene.host().framePump().isActive()) {
            break;
        }
    }
    frames = static_cast<int>(wall.size());
    const double cpuPerFrame = (threadCpuMs() - cpuStart) / frames;
    std::sort(wall.begin(), wall.end());
    double sum = 0;
    for (double w : wall) {
        sum += w;
    }
    std::printf("%-34s frames %5d  mean %.3f ms  median %.3f ms  p99 %.3f ms  max %.3f ms  cpu %.3f ms/frame\n", c.name,
        frames, sum / frames, wall[frames / 2], wall[frames * 99 / 100], wall.back(), cpuPerFrame);
}

/// Counts the paint events of the object it watches.
class PaintCounter final : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

/// Shows the strip in a real window on the real clock for seconds and counts its frames, timers and CPU.
void idleCost(const char* name, NotchDisplay display, bool reduceMotion, int seconds)
{
    common::SystemClock clock;
    ViewHost host(clock);
    host.environment().reduceMotion = [reduceMotion] { return reduceMotion; };
    host.resize(200, 32);
    auto strip = std::make_unique<TopStripView>(host.environment());
    TopStripInputs inputs;
    inputs.display = std::move(display);
    inputs.sessionCount = 3;
    strip->update(inputs);
    host.setRoot(std::move(strip));
    PaintCounter counter;
    host.installEventFilter(&counter);
    host.show();
    // Let the first frame land, then measure; the event loop sleeps whenever nothing is due.
    const auto runFor = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    runFor(300);
    counter.paints = 0;
    const double cpuStart = threadCpuMs();
    runFor(seconds * 1000);
    const double cpu = threadCpuMs() - cpuStart;
    std::printf("%-34s %d s: frames %4d  frame timer %-3s  cpu %.2f ms (%.4f %% of a core)\n", name, seconds,
        counter.paints, host.framePump().isActive() ? "on" : "off", cpu, cpu / (seconds * 10.0));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int frames = argc > 1 ? std::max(100, std::atoi(argv[1])) : 3000;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    ui::registerFontFolder(QStringLiteral(MURMELI_SOURCE_DIR "/fonts"));

    std::printf("One frame of the closed strip while it animates (2x, through the host's paint event):\n");
    const test::StripScene::Options compact { 200, 32, 0, false };
    const test::StripScene::Options notched { 380, 32, 200, false };
    const Case cases[] = {
        { "brand (breath and ripple)", NotchDisplay::brand(), compact },
        { "activity (dot and Working...)", NotchDisplay::activity(QStringLiteral("Bash \u00B7 npm test")), compact },
        { "recording (six-bar wave)", NotchDisplay::pttRecording(), notched },
        { "approval (full-width marquee)", NotchDisplay::notification(NotchNotifKind::Approval), notched },
        { "summary (full-width marquee)", NotchDisplay::notification(NotchNotifKind::Summary), notched },
    };
    for (const Case& c : cases) {
        timeFrames(c, frames);
    }

    std::printf("\nWhat a shown strip costs over real time:\n");
    idleCost("reduced motion, brand and badge", NotchDisplay::brand(), true, seconds);
    idleCost("brand, animating (for comparison)", NotchDisplay::brand(), false, seconds);
    return 0;
}
