// The activity log window on a small screen with a scale factor (CMake runs this suite in a desktop of 1280x720 at
// twice the scale and of 1024x600 at 1.5), framed and placed by openbox.

#include <gtest/gtest.h>

#include "main/app/views/ActivityLogWindow.h"
#include "tests/desktop/ByHand.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::ByHand::framedOnScreen;
using test::ByHand::whereFramed;

// Opened from the settings, the log lies on the screen with its title bar and its close button.
TEST(ActivityLogByHandTest, TheLogFitsTheScreen)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli murmeli;
    murmeli.views.showActivityLog();
    const app::ActivityLogWindow& log = *murmeli.views.activityLog();
    EXPECT_TRUE(test::waitUntil([&] { return log.isVisible() && framedOnScreen(log); }, 10000))
        << "the log reaches off the screen: " << whereFramed(log);
}
