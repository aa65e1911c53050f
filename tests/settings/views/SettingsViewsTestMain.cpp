#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

// The pages are real widgets driven by QTest's mouse and key events; they need a QApplication where the shared test
// main makes a QCoreApplication. Outside the test desktop they draw offscreen.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
