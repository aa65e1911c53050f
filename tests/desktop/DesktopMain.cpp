#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QCoreApplication>

#include "main/common/ProcessEnd.h"
#include "tests/support/TestDesktop.h"

// This suite shows real windows, so it needs a QApplication where the shared test main makes a QCoreApplication;
// defining main() here keeps the linker from taking that one out of the support library.
int main(int argc, char** argv)
{
    // Outside the test desktop every test skips before touching a window, and there is no display to connect to.
    std::unique_ptr<QCoreApplication> app;
    if (murmeli::test::testDesktopMissing()) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        qputenv("QT_QPA_PLATFORM", "xcb");
        app = std::make_unique<QApplication>(argc, argv);
    }
    ::testing::InitGoogleMock(&argc, argv);
    const int status = RUN_ALL_TESTS();
    app.reset();
    // As murmeli ends: the sound-server engine's static teardown would race its own thread.
    murmeli::common::endProcess(status);
}
