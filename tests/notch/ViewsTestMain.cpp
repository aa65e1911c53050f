#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "main/ui/design/FontFolder.h"

// The host widget needs a QApplication where the shared test main makes a QCoreApplication; defining main() here
// keeps the linker from taking that one out of the support library. The shipped faces are registered so that the
// views measure and draw the same text on every machine.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    murmeli::ui::registerFontFolder(QStringLiteral(MURMELI_SOURCE_DIR "/fonts"));
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
