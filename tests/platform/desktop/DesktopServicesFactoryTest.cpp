#include "platform/desktop/DesktopServicesFactory.h"

#include <gtest/gtest.h>

#include "tests/support/DesktopLock.h"
#include "tests/support/TestDesktop.h"

namespace murmeli::platform {
namespace {

// The suite's main runs a QGuiApplication on the display inside the test desktop and a bare QCoreApplication
// outside it, so this test sees both kinds of session depending on where it runs.
TEST(DesktopServicesFactoryTest, SessionDecidesWhetherOtherProgramsCanBeReached)
{
    const DesktopServices services = makeDesktopServices();
    ASSERT_TRUE(services.hotkeys && services.windows && services.keys && services.clipboard && services.focus);
    const InjectionSupport support = services.windows->injectionSupport();
    if (test::testDesktopMissing()) {
        EXPECT_FALSE(support.canInject);
        EXPECT_EQ(support.reason, QStringLiteral("no graphical session"));
        EXPECT_EQ(services.hotkeys->grab(KeyChord::f13()).error, support.reason);
        EXPECT_FALSE(services.keys->sendChord({ keysym::V, std::nullopt, KeyModifier::Ctrl }));
        EXPECT_EQ(services.windows->activeWindow(), std::nullopt);
        EXPECT_FALSE(services.focus->isAvailable());
        return;
    }
    EXPECT_TRUE(support.canInject) << support.reason.toStdString();
    const test::DesktopLock keyboard(test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keyboard.isHeld()) << "another test kept the keyboard";
    const HotkeyGrab grab = services.hotkeys->grab(KeyChord::f13());
    EXPECT_TRUE(grab.id.has_value()) << grab.error.toStdString();
    services.hotkeys->ungrab(grab.id.value_or(0));
    EXPECT_TRUE(services.focus->isAvailable()) << "the test desktop's session bus starts an accessibility bus";
}

} // namespace
} // namespace murmeli::platform
