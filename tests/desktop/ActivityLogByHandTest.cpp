// The activity log window on a small screen with a scale factor (CMake runs this suite in a desktop of 1280x720 at
// twice the scale and of 1024x600 at 1.5): openbox frames and places it; the keys come through the X server from
// xdotool.

#include <gtest/gtest.h>

#include "main/app/views/ActivityLogWindow.h"
#include "tests/desktop/ByHand.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;
using test::ByHand::framedOnScreen;
using test::ByHand::whereFramed;
using test::ByHand::xdotool;

// Opened from the settings, the log lies on the screen with its title bar and close button; Esc puts it away, and
// so does Ctrl+W once it is open again.
TEST(ActivityLogByHandTest, TheLogFitsTheScreenAndEscAndCtrlWPutItAway)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli murmeli;
    for (const char* keys : { "Escape", "ctrl+w" }) {
        SCOPED_TRACE(keys);
        murmeli.views.showActivityLog();
        app::ActivityLogWindow& log = *murmeli.views.activityLog();
        EXPECT_TRUE(waitUntil([&] { return log.isActiveWindow() && framedOnScreen(log); }, 10000))
            << "the log reaches off the screen: " << whereFramed(log);
        ASSERT_TRUE(waitUntil([&] { return log.isActiveWindow(); }));
        ASSERT_TRUE(xdotool({ QStringLiteral("key"), QString::fromLatin1(keys) }));
        EXPECT_TRUE(waitUntil([&] { return !log.isVisible(); })) << "the key left the log open";
    }
}
