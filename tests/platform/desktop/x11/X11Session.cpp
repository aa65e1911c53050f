#include "tests/platform/desktop/x11/X11Session.h"

#include "tests/support/TestDesktop.h"

namespace murmeli::test {

void X11Session::SetUp()
{
    if (const std::optional<QString> missing = testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    m_connection = platform::X11Connection::fromQt();
    ASSERT_NE(m_connection, nullptr) << "Qt is not on the xcb platform";
}

} // namespace murmeli::test
