// A permission request that nobody answers, on the test desktop: whatever the person did with the panel meanwhile,
// the closed strip on the screen says that an agent waits until the request fails open.

#include <gtest/gtest.h>

#include <memory>

#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

#include "main/app/AppDelegate.h"
#include "main/notch/kit/FramePump.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/views/NotchView.h"
#include "platform/desktop/DesktopServicesFactory.h"
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

/// The pointer glides from one point to another in steps of 3 px, as a hand moves a mouse. It returns once the X
/// server has made the last move, so that no move of the glide is still on its way afterwards.
void glide(QPoint from, QPoint to)
{
    QStringList moves;
    const int steps = std::max(1, (std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y())) + 2) / 3);
    for (int step = 1; step <= steps; ++step) {
        const QPoint at = from + (to - from) * step / steps;
        moves << QStringLiteral("mousemove");
        if (step == steps) {
            moves << QStringLiteral("--sync");
        }
        moves << QString::number(at.x()) << QString::number(at.y()) << QStringLiteral("sleep")
              << QStringLiteral("0.01");
    }
    test::runTool(QStringLiteral("xdotool"), moves);
}

/// Pixels of the shot's rect that stand out of the strip's dark glass: a glyph, a label, a dot.
int litPixels(const QImage& shot, const QRect& rect)
{
    int lit = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor pixel = shot.pixelColor(x, y);
            lit += std::max({ pixel.red(), pixel.green(), pixel.blue() }) >= 100 ? 1 : 0;
        }
    }
    return lit;
}

/// The strip as the shot shows it, clear of the desktop beside it and behind its rounded bottom corners: its dark glass
/// along a row just below the top of the screen, out from the middle, down to the foot of its text. The text of a
/// waiting request can scroll through it, and its gap then leaves only the far ends of the strip lit.
QRect paintedStrip(const QImage& shot, int height)
{
    constexpr int row = 6;
    const auto glass = [&](int x) {
        const QColor pixel = shot.pixelColor(x, row);
        return std::max({ pixel.red(), pixel.green(), pixel.blue() }) < 60;
    };
    int left = shot.width() / 2;
    int right = left;
    while (left > 0 && glass(left - 1)) {
        --left;
    }
    while (right + 1 < shot.width() && glass(right + 1)) {
        ++right;
    }
    return QRect(QPoint(left + 2, row - 2), QPoint(right - 2, height * 5 / 8 - 1));
}

} // namespace

// A request waits and the person leaves it be, or opens the panel and closes it with Esc, or opens it and moves the
// pointer away. Sampled every second until the request fails open, the closed strip never goes dark.
TEST(WaitingRequestStripTest, TheClosedStripShowsTheRequestThatWaitsUntilItFailsOpen)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    for (const char* tool : { "xdotool", "curl" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            GTEST_SKIP() << tool << " is not installed";
        }
    }
    // The pointer, the top of the screen and Esc are this test's while it runs.
    test::DesktopLock lock(test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(lock.isHeld());
    // The panel's Esc works on the real desktop the keys come from.
    test::LaunchedMurmeli murmeli(
        [](app::AppController::Dependencies& dependencies) { dependencies.desktop = &platform::makeDesktopServices; });
    ASSERT_TRUE(waitUntil([&] { return murmeli.views.notchPanel() && murmeli.views.notchPanel()->window(); }));
    notch::NotchPanelController& panel = *murmeli.views.notchPanel();
    notch::ViewHost& window = *panel.window();
    notch::NotchView& root = *panel.rootView();
    const QPoint away(960, 700);
    test::runTool(QStringLiteral("xdotool"),
        { QStringLiteral("mousemove"), QString::number(away.x()), QString::number(away.y()) });
    // The welcome of a first launch has gone: the closed strip rests, and only its dot breathes.
    ASSERT_TRUE(waitUntil(
        [&] {
            return window.canBeSeen() && !root.isAnimating(window.environment().nowMs())
                && !window.framePump().isActive() && !window.pendingArea().isEmpty();
        },
        20000));
    const QRectF closedBox = root.boxFrame();
    // The top of the screen across the panel's window, which the strip hangs from.
    const QRect around(
        window.mapToGlobal(QPoint(0, 0)).x(), 0, window.width(), static_cast<int>(closedBox.height()) + 6);
    const auto litStrip = [&](QImage& shot) {
        shot
            = QGuiApplication::primaryScreen()->grabWindow(0, around.x(), 0, around.width(), around.height()).toImage();
        return litPixels(shot, paintedStrip(shot, static_cast<int>(closedBox.height())));
    };
    // What the samples below must tell apart: the strip at rest, before anything waits, reads as dark, once the
    // screen shows what murmeli last drew (on a busy machine the compositor can be frames behind).
    QImage rest;
    int litAtRest = 0;
    ASSERT_TRUE(waitUntil([&] { return (litAtRest = litStrip(rest)) < 15; }, 10000))
        << "the strip at rest does not read as dark: " << litAtRest << " lit pixels";
    const QPoint onTheStrip = window.mapToGlobal(QPoint(static_cast<int>(closedBox.center().x()), 10));
    const quint16 port = test::ControllerProbe::hookServer(murmeli.controller).port();

    const struct {
        const char* name;
        bool opens;
        bool escape;
    } rows[] = {
        { "left alone", false, false },
        { "opened and closed with Esc", true, true },
        { "opened and left by the pointer", true, false },
    };
    int request = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString toolUseId = QStringLiteral("t-strip-%1").arg(++request);
        QProcess agent;
        agent.start(QStringLiteral("curl"),
            { QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("60"), QStringLiteral("--data-binary"),
                QStringLiteral(R"({"session_id":"s-strip","hook_event_name":"PermissionRequest","tool_name":"Bash",)"
                               R"("tool_input":{"command":"ls"},"tool_use_id":"%1","cwd":"/tmp/strip"})")
                    .arg(toolUseId),
                QStringLiteral("http://127.0.0.1:%1/hook/PermissionRequest").arg(port) });
        ASSERT_TRUE(agent.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([&] { return !murmeli.controller.vm().pendingApprovalMessage().isEmpty(); }, 10000));

        if (row.opens) {
            glide(away, onTheStrip);
            // Esc goes out only once the panel has heard the last of the pointer's moves: the pointer is where the
            // glide ended, the panel has opened all the way and holds Esc. A move heard after Esc would open the
            // panel again under the pointer, as it should for a hand that moves there.
            ASSERT_TRUE(waitUntil(
                [&] {
                    return QCursor::pos() == onTheStrip && panel.isExpanded() && panel.holdsEsc()
                        && root.boxFrame().size() != closedBox.size() && !root.isAnimating(window.environment().nowMs())
                        && !window.framePump().isActive();
                },
                20000))
                << "the panel did not open";
            if (row.escape) {
                test::runTool(QStringLiteral("xdotool"), { QStringLiteral("key"), QStringLiteral("Escape") });
                ASSERT_TRUE(waitUntil([&] { return !panel.isExpanded(); })) << "Esc did not close the panel";
            }
            glide(onTheStrip, away);
            ASSERT_TRUE(waitUntil([&] { return !panel.isExpanded() && root.boxFrame() == closedBox; }))
                << "the panel did not close";
        }

        // Once a second until the agent has its answer; the picture of the last one that still waited is kept.
        const auto finished = [&] { return agent.state() == QProcess::NotRunning; };
        int samples = 0;
        int dark = 0;
        QImage last;
        while (!finished()) {
            const int lit = litStrip(last);
            dark += lit < 15 ? 1 : 0;
            ++samples;
            waitUntil(finished, 1000);
        }
        EXPECT_EQ(dark, 0) << dark << " of " << samples << " samples of the closed strip showed nothing that waits";
        EXPECT_GE(samples, 10) << "the request was not held";
        EXPECT_EQ(agent.readAllStandardOutput().trimmed(), "{}") << "the request did not fail open";
        last.save(test::screenshotFolder() + QStringLiteral("/strip-waiting-%1.png").arg(request));
    }
}
