#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QGuiApplication>

// The geometry over the real screen layer needs a QGuiApplication where the shared test main makes a
// QCoreApplication; defining main() here keeps the linker from taking that one out of the support library.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
