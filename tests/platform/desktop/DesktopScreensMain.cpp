#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "tests/platform/desktop/TwoScreens.h"

// The screen layer's tests need a QGuiApplication on known screens: Qt's offscreen platform with two of them.
// Defining main() here keeps the linker from taking the shared one out of the support library.
int main(int argc, char** argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(twoScreensConfig) < 0) {
        return 2;
    }
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
