#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "main/settings/onboarding/OnboardingController.h"
#include "main/settings/views/onboarding/OnboardingWindow.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/desktop/WindowsOf.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::OnboardingStep;
using settings::OnboardingWindow;

namespace {

// The window as the X server shows it, once it shows something new on murmeli's surface (a new window is black
// before its first paint) and has stopped changing. A loaded machine can take seconds to repaint.
QImage settledShot(QWidget& window, const QImage& before)
{
    QImage shot;
    QImage last;
    test::waitUntil(
        [&] {
            last = shot;
            shot = QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
            return shot != before && shot == last
                && test::pixelsNear(shot, ui::Tokens::Notch::surface, 12) > shot.width() * shot.height() / 4;
        },
        30000);
    return shot;
}

} // namespace

// A first run shows the onboarding window and nothing of the back end; each step is photographed; Finish records
// completion and starts the back end once. The next launch over the same preferences skips onboarding.
TEST(OnboardingDesktopTest, AFirstRunShowsOnboardingAndTheNextSkipsIt)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli first({}, false);
    ASSERT_EQ(first.views.onboardingWindows().size(), 1u);
    OnboardingWindow& window = *first.views.onboardingWindows().front();
    EXPECT_FALSE(window.isReopen());
    ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(test::ControllerProbe::hookServer(first.controller).isRunning())
        << "the back end waits for onboarding";

    const QString folder = test::screenshotFolder();
    QImage shot;
    const auto photograph = [&](OnboardingStep step) {
        ASSERT_EQ(window.step(), step);
        ASSERT_TRUE(test::waitUntil([&] { return !window.isProbing(); }));
        shot = settledShot(window, shot);
        EXPECT_GT(test::pixelsNear(shot, ui::Tokens::Notch::surface, 12), shot.width() * shot.height() / 4);
        EXPECT_TRUE(shot.save(folder + QStringLiteral("/onboarding-%1.png").arg(settings::toString(step))));
    };
    photograph(OnboardingStep::Why);
    QTest::mouseClick(window.button(QStringLiteral("continue")), Qt::LeftButton);
    // The first probe may come before the sound server has answered; asking again finds the test desktop's
    // microphone.
    ASSERT_TRUE(test::waitUntil([&] {
        if (window.snapshot().microphone.state == settings::PermissionState::Granted) {
            return true;
        }
        if (ui::KitButton* again = window.button(QStringLiteral("authorize-microphone"));
            again && again->isEnabled()) {
            again->click();
        }
        return false;
    }));
    photograph(OnboardingStep::Auth);
    QTest::mouseClick(window.button(QStringLiteral("skip")), Qt::LeftButton);
    photograph(OnboardingStep::Done);
    QTest::mouseClick(window.button(QStringLiteral("finish")), Qt::LeftButton);

    EXPECT_TRUE(settings::OnboardingController::isCompleted(first.controller.defaults()));
    ASSERT_TRUE(test::waitUntil([&] { return test::ControllerProbe::hookServer(first.controller).isRunning(); }));
    ASSERT_TRUE(test::waitUntil([&] { return first.views.onboardingWindows().empty(); }));

    // The second launch: another murmeli over the same preferences.
    app::AppController controller(test::LaunchedMurmeli::dependencies(first.root));
    app::WidgetShellViews views;
    app::AppDelegate delegate(controller, views, QStringLiteral("/usr/bin/murmeli"));
    delegate.applicationDidFinishLaunching();
    EXPECT_TRUE(views.onboardingWindows().empty());
    ASSERT_TRUE(test::waitUntil([&] { return test::ControllerProbe::hookServer(controller).isRunning(); }));
}

// Asked for again while its window is open (the About page's "Reopen" pressed twice), onboarding comes to the front
// as the one window the desktop shows.
TEST(OnboardingDesktopTest, ReopeningTwiceShowsTheOneWindow)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli murmeli;
    Q_EMIT murmeli.controller.notifications().onboardingForceReopen();
    Q_EMIT murmeli.controller.notifications().onboardingForceReopen();
    ASSERT_EQ(murmeli.views.onboardingWindows().size(), 1u);
    OnboardingWindow& window = *murmeli.views.onboardingWindows().front();
    ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    // The window manager may name the window a moment after the X server exposed it.
    const auto shown = [] {
        return test::windowsOf(QCoreApplication::applicationPid(), QStringLiteral("^Welcome to murmeli$")).size();
    };
    EXPECT_TRUE(test::waitUntil([&] { return shown() == 1; }, 5000)) << shown();
}
