// The onboarding window of a first run worked by hand on a small screen with a scale factor (CMake runs this suite in
// a desktop of 1280x720 at twice the scale and of 1024x600 at 1.5): openbox frames and places it; the pointer, the
// wheel and the keys come through the X server from xdotool.

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QScrollArea>
#include <QWindow>

#include "main/settings/onboarding/OnboardingController.h"
#include "main/settings/views/onboarding/OnboardingWindow.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "tests/desktop/ByHand.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::OnboardingStep;
using settings::OnboardingWindow;
using test::waitUntil;
using test::ByHand::click;
using test::ByHand::framedOnScreen;
using test::ByHand::glideTo;
using test::ByHand::whereFramed;
using test::ByHand::xdotool;

namespace {

QRect onScreen(const QWidget& widget)
{
    return { widget.mapToGlobal(QPoint()), widget.size() };
}

/// The screen once it shows the window's step drawn and standing still, kept for a person to look at.
void save(const OnboardingWindow& window)
{
    QImage shot;
    QImage last;
    EXPECT_TRUE(waitUntil(
        [&] {
            last = std::exchange(shot, window.screen()->grabWindow(0).toImage());
            return shot == last
                && test::pixelsNear(shot, ui::Color::vantorSurface, 12) > shot.width() * shot.height() / 4;
        },
        10000));
    EXPECT_TRUE(shot.save(test::screenshotFolder()
        + QStringLiteral("/onboarding-%1-on-%2x%3-at-%4.png")
              .arg(settings::toString(window.step()))
              .arg(shot.width())
              .arg(shot.height())
              .arg(qApp->devicePixelRatio())));
}

} // namespace

// Framed and placed by the window manager, the window lies on the screen with its title bar, its close button and
// its step's buttons in reach: Tab reaches Continue and Return takes it, the wheel brings Skip into view and a click
// takes it, and a click on Finish ends onboarding, after which murmeli serves the agents.
TEST(OnboardingByHandTest, TheWindowFitsTheScreenAndTheKeysThePointerAndTheWheelTakeItToTheEnd)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli murmeli({}, false);
    ASSERT_EQ(murmeli.views.onboardingWindows().size(), 1u);
    OnboardingWindow& window = *murmeli.views.onboardingWindows().front();
    auto& scroll = *window.findChild<QScrollArea*>(QStringLiteral("onboardingScroll"));
    EXPECT_TRUE(waitUntil([&] { return window.isActiveWindow() && framedOnScreen(window); }, 10000))
        << "the window reaches off the screen: " << whereFramed(window);
    ASSERT_TRUE(waitUntil([&] { return !window.isProbing(); }));
    save(window);
    const auto inView
        = [&](const QWidget& control) { return onScreen(*scroll.viewport()).contains(onScreen(control)); };
    // The pointer over the step, the wheel turned notch by notch until the control is in view.
    const auto wheelTo = [&](const QWidget& control) {
        if (!glideTo(*scroll.viewport(), scroll.viewport()->rect().center())) {
            return false;
        }
        for (int notch = 0; notch < 20 && !inView(control); ++notch) {
            const int before = control.mapToGlobal(QPoint()).y();
            if (!xdotool({ QStringLiteral("click"), QStringLiteral("5") })
                || !waitUntil([&] { return control.mapToGlobal(QPoint()).y() < before; })) {
                return false;
            }
        }
        return inView(control);
    };

    // Why: Tab goes to Continue, which comes into view, and Return takes it.
    ui::KitButton* next = window.button(QStringLiteral("continue"));
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("Tab") }));
    ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == next; }));
    EXPECT_TRUE(waitUntil([&] { return inView(*next); })) << "Continue has the focus out of sight";
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("Return") }));
    ASSERT_TRUE(waitUntil([&] { return window.step() == OnboardingStep::Auth; }));
    ASSERT_TRUE(waitUntil([&] { return !window.isProbing(); }));
    save(window);

    // Auth: the wheel over the step brings Skip into view, and the pointer takes it.
    ui::KitButton* skip = window.button(QStringLiteral("skip"));
    ASSERT_NE(skip, nullptr);
    ASSERT_TRUE(wheelTo(*skip)) << "the wheel did not bring Skip into view";
    ASSERT_TRUE(click(*skip));
    ASSERT_TRUE(waitUntil([&] { return window.step() == OnboardingStep::Done; }));
    save(window);

    // Done: a click on Finish ends onboarding, and the back end starts.
    EXPECT_FALSE(test::ControllerProbe::hookServer(murmeli.controller).isRunning());
    ui::KitButton* finish = window.button(QStringLiteral("finish"));
    ASSERT_NE(finish, nullptr);
    ASSERT_TRUE(wheelTo(*finish)) << "the wheel did not bring Finish into view";
    ASSERT_TRUE(click(*finish));
    EXPECT_TRUE(waitUntil([&] { return settings::OnboardingController::isCompleted(murmeli.controller.defaults()); }));
    EXPECT_TRUE(waitUntil([&] { return test::ControllerProbe::hookServer(murmeli.controller).isRunning(); }));
}
