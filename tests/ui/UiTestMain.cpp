#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

// Fonts and widgets need a QApplication where the shared test main makes a QCoreApplication; defining main() here
// keeps the linker from taking that one out of the support library.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
