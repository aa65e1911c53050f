#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>

#include "tests/platform/desktop/FocusTargetApp.h"
#include "tests/support/TestDesktop.h"

// The X11 backends work on Qt's own xcb connection, so inside the test desktop this suite runs a QGuiApplication on
// the xcb platform; outside it the tests that need a display skip before touching one. Defining main() here keeps
// the linker from taking the shared one out of the support library.
int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], murmeli::test::focusTargetArgument) == 0) {
        return murmeli::test::runFocusTargetApp(argc, argv);
    }
    std::unique_ptr<QCoreApplication> app;
    if (murmeli::test::testDesktopMissing()) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        qputenv("QT_QPA_PLATFORM", "xcb");
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
