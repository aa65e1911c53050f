#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QWindow>

#include "main/app/views/ActivityLogWindow.h"
#include "main/app/views/WidgetShellViews.h"
#include "main/ui/design/Tokens.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;

// murmeli's own start-up on the desktop, then the "show activity log" notification: the window comes up with the
// start-up lines in their colours.
TEST(ActivityLogScreenshotTest, TheActivityLogWindowShowsTheStartUpLinesInTheirColours)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    test::LaunchedMurmeli murmeli;
    app::AppController& controller = murmeli.controller;
    app::WidgetShellViews& views = murmeli.views;
    ASSERT_TRUE(test::waitUntil([&] { return test::ControllerProbe::hookServer(controller).isRunning(); }));

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
        return test::pixelsNear(shot, ui::Tokens::Notch::signalGreen, 24) > 20
            && test::pixelsNear(shot, ui::Tokens::Notch::signalBlue, 24) > 20
            && test::pixelsNear(shot, ui::Tokens::Notch::signalAmber, 24) > 20;
    };
    EXPECT_TRUE(test::waitUntil(coloured)) << "the window's pixels lack a start-up line's colour";
    EXPECT_GT(test::pixelsNear(shot, ui::Tokens::Notch::surface, 24), shot.width() * shot.height() / 2);
    const QString path = test::screenshotFolder() + QStringLiteral("/activity-log.png");
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
}
