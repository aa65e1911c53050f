#include "tests/platform/desktop/x11/X11Session.h"

#include "tests/support/TestDesktop.h"

namespace murmeli::test {

void X11Session::SetUp()
{
    if (const std::optional<QString> missing = testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    m_lock.emplace(DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(m_lock->isHeld()) << "another test kept the keyboard";
    m_connection = platform::X11Connection::fromQt();
    ASSERT_NE(m_connection, nullptr) << "Qt is not on the xcb platform";
}

} // namespace murmeli::test
