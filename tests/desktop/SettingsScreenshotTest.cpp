#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

#include "main/ui/design/Tokens.h"
#include "main/app/views/WidgetShellViews.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "tests/desktop/InstalledMurmeli.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;

// murmeli's own start-up on the desktop, then the "show settings" notification: the window comes up, and each page
// chosen in its sidebar is photographed from the X server, scrolled to its end as well when it is taller than the
// window.
TEST(SettingsScreenshotTest, EveryPageOfTheSettingsWindow)
{
    if (const std::optional<QString> missing = test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    // Installed, so the Integrations page finds every agent's installer.
    const test::InstalledMurmeli installed;
    ASSERT_TRUE(installed.ready);
    test::LaunchedMurmeli murmeli(
        [&](app::AppController::Dependencies& dependencies) { dependencies.executablePath = installed.executable(); });
    app::AppController& controller = murmeli.controller;
    app::WidgetShellViews& views = murmeli.views;
    EXPECT_EQ(views.settingsWindow(), nullptr);
    Q_EMIT controller.notifications().showSettings();
    ASSERT_NE(views.settingsWindow(), nullptr);
    QWidget& window = views.settingsWindow()->window();
    ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    Q_EMIT controller.notifications().showSettings();
    EXPECT_EQ(QGuiApplication::topLevelWindows().count(window.windowHandle()), 1);

    settings::SettingsRootView& rootView = views.settingsWindow()->rootView();
    QListWidget& sidebar = *rootView.sidebar();
    auto* detail = rootView.findChild<QScrollArea*>(QStringLiteral("detail"));
    ASSERT_NE(detail, nullptr);
    const QString folder = test::screenshotFolder();
    const auto grab = [&] { return QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage(); };
    QImage shot = grab();
    // Taken once the X server shows something new and has stopped changing: the page has been drawn.
    const auto settle = [&](const QString& name) {
        EXPECT_TRUE(test::settleShot(grab, shot)) << name.toStdString();
        // A page of tall cards (Integrations' nine agents) leaves less of the window's surface showing.
        EXPECT_GT(test::pixelsNear(shot, ui::Tokens::Notch::surface, 12), shot.width() * shot.height() / 6)
            << name.toStdString();
        EXPECT_GT(test::pixelsNear(shot, ui::Tokens::Notch::surface2, 12), 1000) << name.toStdString();
        EXPECT_TRUE(shot.save(folder + QStringLiteral("/settings-%1.png").arg(name)));
    };
    for (int row = 0; row < sidebar.count(); ++row) {
        const settings::SettingsSection section = settings::currentSettingsSections().at(row);
        sidebar.setCurrentRow(row);
        ASSERT_EQ(rootView.shownSection(), section);
        const QString name = settings::toString(section);
        settle(name);
        if (section == settings::SettingsSection::Audio) {
            // Showing the page writes the engine in use back through the controller's announcement engine.
            EXPECT_EQ(controller.defaults().stringValue(QStringLiteral("ttsBackend")), QStringLiteral("apple-tts"));
        }
        EXPECT_EQ(shot.size(), QSize(870, 720) * window.devicePixelRatio());
        QScrollBar* bar = detail->verticalScrollBar();
        if (bar->maximum() > 0) {
            bar->setValue(bar->maximum());
            settle(name + QStringLiteral("-end"));
        }
    }
}
