#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "main/common/ProcessEnd.h"

int main(int argc, char** argv)
{
    // Many components post to the main thread or run coroutines, so every suite gets an event loop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleMock(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    // As murmeli ends: the sound-server engine's static teardown would race its own thread.
    murmeli::common::endProcess(status);
}
