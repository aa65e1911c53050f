// A panel window on the test desktop: when the frames it hands to the display count as on the screen, and which of
// the pointer's moves it hears while murmeli is busy.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include <QBackingStore>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>

#include "main/device/tts/TTSEngine.h"
#include "main/notch/kit/View.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/views/CtrlGroupView.h"
#include "main/notch/views/NotchView.h"
#include "main/notch/views/TopStripView.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/DesktopTools.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

const QRgb drawn = qRgb(200, 40, 40);

/// An opaque view whose first frame starts a control's count, and which lets the host mark each of its frames.
class FirstFrameAwaited final : public notch::View {
public:
    explicit FirstFrameAwaited(const notch::ViewEnvironment& environment) : m_environment(environment) { }
    QSizeF idealSize() const override { return { 60, 40 }; }
    void paint(QPainter& painter, const QRectF& frame, qint64) override
    {
        painter.fillRect(frame, QColor(drawn));
        m_environment.markSpot = notch::ViewEnvironment::MarkSpot { QPointF(10, 10), drawn };
        m_environment.awaitsScreen = m_environment.awaitsScreen || !std::exchange(m_marked, true);
    }

private:
    const notch::ViewEnvironment& m_environment;
    bool m_marked = false;
};

} // namespace

// The frame that starts a control's count is on the screen once the screen shows that very frame (a compositing
// manager draws it in a frame of its own, or not at all while it stalls): at the look that sees it, however late,
// and never while the screen shows another. Where the screen cannot be watched there (it cannot say, no compositing
// manager draws it, another window lies over the spot) it is there as soon as the display has it.
TEST(ViewHostDesktopTest, AFrameAwaitedIsOnTheScreenOnlyOnceTheScreenIsSeenToShowIt)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    const struct {
        const char* what;
        bool canSay;
        bool composited;
        bool covered;
        qint64 shownAfterMs; // -1: never
    } rows[] = {
        { "the screen cannot say", false, true, false, 0 },
        { "no compositing manager", true, false, false, 0 },
        { "another window over the spot", true, true, true, 0 },
        { "shown 0.7 s late", true, true, false, 700 },
        { "never shown", true, true, false, -1 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        test::FakeClock clock;
        notch::ViewHost host(clock);
        int looks = 0;
        bool onScreen = false;
        notch::ViewHost::Screen screen;
        // The screen shows what the window drew once the compositing manager draws it, and black till then.
        screen.grab = [&](QRect at) -> std::optional<QImage> {
            ++looks;
            if (!row.canSay) {
                return std::nullopt;
            }
            const auto* store = dynamic_cast<const QImage*>(host.backingStore()->paintDevice());
            if (!onScreen || !store) {
                QImage black(at.size(), QImage::Format_RGB32);
                black.fill(Qt::black);
                return black;
            }
            const QPoint origin = (QPointF(host.mapToGlobal(QPoint(0, 0))) * host.devicePixelRatioF()).toPoint();
            return store->copy(at.translated(-origin));
        };
        screen.composited = [&] { return row.composited; };
        screen.covered = [&](QRect) { return row.covered; };
        host.setDisplay([] { return std::optional<quint32>(1); }, screen);
        host.setRoot(std::make_unique<FirstFrameAwaited>(host.environment()));
        host.setGeometry(100, 100, 60, 40);
        host.show();
        ASSERT_TRUE(waitUntil([&] { return host.frames().drawn() >= 1; }));
        if (row.shownAfterMs != 0) {
            ASSERT_TRUE(waitUntil([&] { return looks >= 10; }));
            EXPECT_FALSE(host.frames().shownAtMs(1)) << "counted before the screen showed it";
            clock.advance(row.shownAfterMs < 0 ? 5000 : row.shownAfterMs);
            const int looked = looks;
            ASSERT_TRUE(waitUntil([&] { return looks >= looked + 10; })) << "the window gave up watching";
            onScreen = row.shownAfterMs > 0;
        }
        if (row.shownAfterMs < 0) {
            EXPECT_FALSE(host.frames().shownAtMs(1)) << "counted though the screen never showed it";
            continue;
        }
        EXPECT_TRUE(waitUntil([&] { return host.frames().shownAtMs(1).has_value(); }));
        EXPECT_EQ(host.frames().shownAtMs(1), row.shownAfterMs);
    }
}

// The panel opens under a hand sliding along the top edge from the side, and has stood still when the machine gets
// busy: murmeli's main thread is held while the hand slides on towards the mute button, and is let go just before the
// hand gets there. The server's moves of that busy moment still reach the panel, so the hand is heard sliding all the
// way: the click 120 ms after it stops on mute was meant for the strip and mutes nothing. A click once it has rested
// on mute a beat does.
TEST(ViewHostDesktopTest, ABusyMomentOfTheMachineIsNoRestOfTheHandSlidingOntoMute)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::DesktopLock lock(test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(lock.isHeld());
    test::LaunchedMurmeli murmeli;
    ASSERT_TRUE(waitUntil([&] { return murmeli.views.notchPanel() && murmeli.views.notchPanel()->window(); }));
    notch::NotchPanelController& panel = *murmeli.views.notchPanel();
    notch::ViewHost& window = *panel.window();
    ASSERT_TRUE(waitUntil([&] { return window.canBeSeen() && !panel.expansionState().startActive(); }, 15000));
    const auto muted = [&] {
        return murmeli.controller.defaults().value(QString::fromLatin1(device::TTSEngine::mutedUDKey)).toBool();
    };
    const qreal scale = window.devicePixelRatio();
    const auto slide = [&](QPoint from, QPoint to, const char* stepSeconds, QStringList then = {}) {
        QStringList moves;
        const int steps = std::max(1, (std::abs(to.x() - from.x()) + 2) / 3);
        for (int step = 1; step <= steps; ++step) {
            const QPointF at = QPointF(from + (to - from) * step / steps) * scale;
            moves << QStringLiteral("mousemove") << QString::number(qRound(at.x())) << QString::number(qRound(at.y()))
                  << QStringLiteral("sleep") << QLatin1String(stepSeconds);
        }
        return moves + then;
    };
    const auto xdotool
        = [](const QStringList& arguments) { return test::runTool(QStringLiteral("xdotool"), arguments); };
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("10"), QStringLiteral("700") });
    const QRectF closed = panel.rootView()->boxFrame();
    const QPoint strip = window.mapToGlobal(closed.topLeft().toPoint());
    const int y = strip.y() + static_cast<int>(closed.height() / 2);

    // Onto the strip from its left and on along it, the panel opening under the hand and coming to rest.
    const QPoint along(strip.x() + 45, y);
    xdotool({ QStringLiteral("mousemove"), QString::number(strip.x() - 30), QString::number(y) });
    xdotool(slide(QPoint(strip.x() - 30, y), along, "0.05"));
    const notch::Hand& hand = window.environment().hand;
    ASSERT_TRUE(panel.isExpanded() && hand.stillSinceMs() && !hand.isArriving(window.environment().nowMs()))
        << "the panel did not stand still while the hand slid along the strip";
    const auto* controls = static_cast<const notch::CtrlGroupView*>(panel.rootView()->strip().rightContent());
    const QRect mute(window.mapToGlobal(controls->toggle(0).frame().topLeft().toPoint()),
        controls->toggle(0).frame().size().toSize());
    ASSERT_GT(mute.left() - 4, along.x());

    // Busy: nothing of murmeli runs while the hand slides on to just short of mute.
    QElapsedTimer busy;
    busy.start();
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), slide(along, QPoint(mute.left() - 4, y), "0.05")), 0);
    ASSERT_GT(busy.elapsed(), notch::Hand::restMs) << "the busy moment was too short to pass for a rest";
    xdotool(slide(QPoint(mute.left() - 4, y), QPoint(mute.center().x(), y), "0.03",
        { QStringLiteral("sleep"), QStringLiteral("0.12"), QStringLiteral("click"), QStringLiteral("1") }));
    EXPECT_FALSE(waitUntil(muted, 1000)) << "a click 120 ms after the hand slid onto mute muted murmeli";

    const bool before = muted();
    xdotool({ QStringLiteral("sleep"), QStringLiteral("0.7"), QStringLiteral("click"), QStringLiteral("1") });
    EXPECT_TRUE(waitUntil([&] { return muted() != before; }, 2000))
        << "mute took no click after the pointer rested on it";
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("10"), QStringLiteral("700") });
}
