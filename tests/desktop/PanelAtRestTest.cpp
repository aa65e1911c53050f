// The panel at rest on the test desktop, over an xterm full of text: what it redraws while nothing changes, closed
// and open over fourteen idle sessions that reached it as hook events, and what the X server shows of it.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>

#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/layout/NotchMotion.h"
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

/// Every frame the window draws: when, and how many pixels.
class FrameCounter final : public QObject {
public:
    explicit FrameCounter(QWidget& window) : m_window(window) { window.installEventFilter(this); }
    ~FrameCounter() override { m_window.removeEventFilter(this); }

    void reset()
    {
        frames = 0;
        largest = 0;
        clock.restart();
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
            qint64 pixels = 0;
            for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) {
                pixels += static_cast<qint64>(rect.width()) * rect.height();
            }
            largest = std::max(largest, pixels);
        }
        return false;
    }

    QWidget& m_window;
    int frames = 0;
    qint64 largest = 0;
    QElapsedTimer clock;
};

/// Counts the next frames of a resting window, and checks that they are the breathing dot's: no more often than
/// its pace asks, no larger than its square.
void expectOnlyTheDotBreathes(FrameCounter& counter, const char* state)
{
    counter.reset();
    constexpr int frames = 12;
    ASSERT_TRUE(waitUntil([&] { return counter.frames >= frames; }, 10000)) << state << ": the dot stopped";
    const double perSecond = counter.frames * 1000.0 / static_cast<double>(counter.clock.elapsed());
    const double pace = 1000.0 / notch::FramePump::intervalFor(notch::NotchMotion::brandBreathSec);
    EXPECT_LT(perSecond, pace * 1.25) << state;
    const QRectF square = notch::BrandDot::motionArea({});
    EXPECT_LE(counter.largest, static_cast<qint64>((square.width() + 4) * (square.height() + 4))) << state;
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
    ASSERT_TRUE(waitUntil([&] { return !window.framePump().isActive() && !window.pendingArea().isEmpty(); }, 15000));
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

    // Opened the way a person does, and left to settle.
    notch::NotchView& root = *panel->rootView();
    const QPoint strip = window.mapToGlobal(QPoint(static_cast<int>(root.boxFrame().center().x()), 8));
    test::runTool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(strip.x()), QString::number(strip.y() + 12) });
    test::runTool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(strip.x()), QString::number(strip.y()) });
    ASSERT_TRUE(waitUntil(
        [&] {
            return panel->isExpanded() && root.boxFrame().size() == root.targetSize() && !window.framePump().isActive();
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
