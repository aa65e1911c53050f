// The panel at rest on the test desktop, over an xterm full of text: what it redraws while nothing changes, closed
// and open over fourteen idle sessions that reached it as hook events, and what the X server shows of it.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPaintEvent>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/views/BrandDot.h"
#include "main/notch/views/ContentAreaView.h"
#include "main/notch/views/NotchView.h"
#include "main/notch/views/SessionListSurfaceView.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/DesktopTools.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

constexpr int sessionCount = 14;

/// Every frame the window draws: how many pixels, and whether the window's frame timer (which runs only while
/// something animates) drew it.
class FrameCounter final : public QObject {
public:
    explicit FrameCounter(notch::ViewHost& window) : m_window(window) { window.installEventFilter(this); }
    ~FrameCounter() override { m_window.removeEventFilter(this); }

    void reset()
    {
        frames = 0;
        pumped = 0;
        largest = 0;
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
            pumped += m_window.framePump().isActive() ? 1 : 0;
            qint64 pixels = 0;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) {
                pixels += static_cast<qint64>(rect.width()) * rect.height();
            }
            largest = std::max(largest, pixels);
        }
        return false;
    }

    notch::ViewHost& m_window;
    int frames = 0;
    int pumped = 0;
    qint64 largest = 0;
};

/// Counts the next frames of a resting window, and checks that they are the breathing dot's: drawn on its own pace
/// rather than the frame timer's, no larger than its square. How often they come is bench/idle's to measure: a busy
/// machine may hold a frame back, never add one.
void expectOnlyTheDotBreathes(FrameCounter& counter, const char* state)
{
    counter.reset();
    constexpr int frames = 12;
    ASSERT_TRUE(waitUntil([&] { return counter.frames >= frames; }, 10000)) << state << ": the dot stopped";
    EXPECT_EQ(counter.pumped, 0) << state << ": something animated the whole window";
    const QRectF square = notch::BrandDot::motionArea({});
    EXPECT_LE(counter.largest, static_cast<qint64>((square.width() + 4) * (square.height() + 4))) << state;
}

/// Whether the panel rests: no view animates and the frame timer is off.
bool rests(notch::NotchPanelController& panel)
{
    notch::ViewHost& window = *panel.window();
    return !panel.rootView()->isAnimating(window.environment().nowMs()) && !window.framePump().isActive();
}

/// Pixels that are not all one colour in rect.
bool isUniform(const QImage& image, const QRect& rect)
{
    const QRgb first = image.pixel(rect.topLeft());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != first) {
                return false;
            }
        }
    }
    return true;
}

/// The share of a column's pixels that are nearly black.
double darkShare(const QImage& image, int x, int top, int bottom)
{
    int dark = 0;
    for (int y = top; y <= bottom; ++y) {
        const QColor pixel = image.pixelColor(x, y);
        dark += pixel.red() + pixel.green() + pixel.blue() < 48 ? 1 : 0;
    }
    return static_cast<double>(dark) / (bottom - top + 1);
}

} // namespace

TEST(PanelAtRestTest, RedrawsOnlyTheBreathingDotAndStaysReadableOverText)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    for (const char* tool : { "xterm", "xdotool", "curl" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    // The pointer and the top of the screen are this test's while it runs.
    test::DesktopLock lock(test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(lock.isHeld());

    // An xterm full of long lines under the whole top of the screen.
    QProcess xterm;
    xterm.start(QStringLiteral("xterm"),
        { QStringLiteral("-geometry"), QStringLiteral("300x60+0+0"), QStringLiteral("-e"), QStringLiteral("bash"),
            QStringLiteral("-c"),
            QStringLiteral("for i in $(seq 200); do printf 'line %d: %s\\n' $i \"$(printf 'the quick brown fox ###### "
                           "%.0s' $(seq 12))\"; done; exec sleep 600") });
    ASSERT_TRUE(xterm.waitForStarted(10000));
    const auto stopXterm = qScopeGuard([&] {
        xterm.kill();
        xterm.waitForFinished(5000);
    });

    test::LaunchedMurmeli murmeli;
    ASSERT_TRUE(waitUntil([&] { return murmeli.views.notchPanel() && murmeli.views.notchPanel()->window(); }));
    notch::NotchPanelController* panel = murmeli.views.notchPanel();
    notch::ViewHost& window = *panel->window();
    ASSERT_TRUE(waitUntil([&] { return window.canBeSeen(); }, 10000));
    test::runTool(
        QStringLiteral("xdotool"), { QStringLiteral("mousemove"), QStringLiteral("10"), QStringLiteral("700") });
    FrameCounter counter(window);

    // Closed and resting, once the welcome of a first launch has gone and the dot breathes.
    ASSERT_TRUE(waitUntil([&] { return rests(*panel) && !window.pendingArea().isEmpty(); }, 15000));
    expectOnlyTheDotBreathes(counter, "closed");

    // Fourteen sessions start, through the hook server as an agent posts them.
    const QString port = QString::number(test::ControllerProbe::hookServer(murmeli.controller).port());
    for (int i = 1; i <= sessionCount; ++i) {
        test::runTool(QStringLiteral("curl"),
            { QStringLiteral("-s"), QStringLiteral("-X"), QStringLiteral("POST"), QStringLiteral("-d"),
                QStringLiteral(R"({"session_id":"rest-%1","cwd":"/tmp/project-%1","hook_event_name":"SessionStart"})")
                    .arg(i),
                QStringLiteral("http://127.0.0.1:%1/hook/SessionStart").arg(port) });
    }
    ASSERT_TRUE(waitUntil([&] { return murmeli.controller.vm().sessions().size() == sessionCount; }, 10000));

    // Opened the way a person does, and left to settle. The views take the opening at their next frame, which a busy
    // machine draws a while later: until then the panel says it is open while its box is still the strip and nothing
    // moves yet, so it has settled only once its box has grown. The pointer rests left of the strip's buttons: one
    // that came under it would light up, rightly, once the pointer had rested on it a beat.
    notch::NotchView& root = *panel->rootView();
    const QSizeF closed = root.boxFrame().size();
    const QPoint strip = window.mapToGlobal(QPoint(static_cast<int>(root.boxFrame().left()) + 30, 8));
    test::runTool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(strip.x()), QString::number(strip.y() + 12) });
    test::runTool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(strip.x()), QString::number(strip.y()) });
    ASSERT_TRUE(waitUntil(
        [&] {
            return panel->isExpanded() && root.boxFrame().size() != closed
                && root.boxFrame().size() == root.targetSize() && rests(*panel);
        },
        10000));
    expectOnlyTheDotBreathes(counter, "expanded");

    // What the X server shows: the list on glass that hides the text under it, and no black edge beside the box.
    const QRectF box = root.boxFrame();
    const QRect onScreen(window.mapToGlobal(QPoint(0, 0)), window.size());
    QImage shot;
    ASSERT_TRUE(test::settleShot(
        [&] {
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), static_cast<int>(box.bottom()) + 12)
                .toImage();
        },
        shot));
    shot.save(test::screenshotFolder() + QStringLiteral("/notch-expanded-over-text.png"));
    const notch::SessionListSurfaceView* list = root.contentArea()->sessionList();
    ASSERT_NE(list, nullptr);
    const QRectF firstRow = list->rowFrame(murmeli.controller.vm().sessions().first().sid);
    ASSERT_FALSE(firstRow.isEmpty());
    // The glass between the box's edge and the rows, all the way down the list, is glass and nothing else.
    const QRect margin
        = QRectF(QPointF(box.left() + 2, firstRow.top()), QPointF(firstRow.left() - 2, box.bottom() - 40))
              .toAlignedRect()
              .adjusted(1, 0, -1, 0);
    ASSERT_GT(margin.width(), 2);
    EXPECT_TRUE(isUniform(shot, margin)) << "text shows through the glass";
    const int top = static_cast<int>(box.top()) + 40;
    const int bottom = static_cast<int>(box.bottom()) - 40;
    for (const int x : { static_cast<int>(box.left()) - 1, static_cast<int>(box.right()) + 1 }) {
        EXPECT_LT(darkShare(shot, x, top, bottom), 0.5) << "a black column at x " << x;
    }
}
