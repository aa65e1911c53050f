#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>

#include "main/app/AppController.h"
#include "main/app/AppDelegate.h"
#include "main/app/design/Tokens.h"
#include "main/app/views/ActivityLogWindow.h"
#include "main/app/views/WidgetShellViews.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;

namespace {

// Pixels of the image within a small distance of the colour (glyph edges blend into the background).
int pixelsNear(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green())
                    + std::abs(pixel.blue() - colour.blue())
                < 24) {
                ++count;
            }
        }
    }
    return count;
}

// Where the picture goes: MURMELI_SCREENSHOT_DIR when set (scripts/screenshots), else the build folder.
QString screenshotPath()
{
    const QString folder = qEnvironmentVariableIsEmpty("MURMELI_SCREENSHOT_DIR")
        ? QStringLiteral(MURMELI_BUILD_DIR "/screenshots")
        : qEnvironmentVariable("MURMELI_SCREENSHOT_DIR");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/activity-log.png");
}

} // namespace

// murmeli's own start-up on the desktop, then the "show activity log" notification: the window comes up with the
// start-up lines in their colours.
TEST(ActivityLogScreenshotTest, TheActivityLogWindowShowsTheStartUpLinesInTheirColours)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    app::WidgetShellViews views;
    app::AppDelegate delegate(
        controller, views, QStringLiteral("/usr/bin/murmeli"), QStringLiteral(MURMELI_SOURCE_DIR "/fonts"));
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(test::waitUntil([&] { return controller.hookServer().isRunning(); }));

    app::ActivityLogWindow* window = views.activityLog();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    Q_EMIT controller.notifications().showActivityLog();
    ASSERT_TRUE(test::waitUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); }));
    EXPECT_TRUE(window->textView()->toPlainText().contains(QStringLiteral("murmeli ready")));

    // The picture is taken from the X server, so it shows what the desktop shows.
    QImage shot;
    const auto coloured = [&] {
        shot = QGuiApplication::primaryScreen()->grabWindow(window->winId()).toImage();
        return pixelsNear(shot, app::Tokens::Notch::signalGreen) > 20
            && pixelsNear(shot, app::Tokens::Notch::signalBlue) > 20
            && pixelsNear(shot, app::Tokens::Notch::signalAmber) > 20;
    };
    EXPECT_TRUE(test::waitUntil(coloured)) << "the window's pixels lack a start-up line's colour";
    EXPECT_GT(pixelsNear(shot, app::Tokens::Notch::surface), shot.width() * shot.height() / 2);
    const QString path = screenshotPath();
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
}
