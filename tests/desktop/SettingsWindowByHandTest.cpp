// The settings window worked by hand on a screen too small for it (CMake runs this suite in a desktop of 1024x600, and
// of 1920x1080 at twice the scale): pointer, wheel and keys come through the X server from xdotool, and openbox
// frames, places and activates the windows.

#include <gtest/gtest.h>

#include <csignal>

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "main/app/views/ActivityLogWindow.h"
#include "main/cloud/views/AccountSectionView.h"
#include "main/cloud/views/AccountSignInSheet.h"
#include "main/cloud/views/PrimaryBrassButton.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/panel/NotchPanelController.h"
#include "main/notch/views/NotchView.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/settings/views/pages/GeneralPage.h"
#include "main/ui/design/Tokens.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/MenuPicker.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "tests/desktop/ByHand.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/desktop/Screenshots.h"
#include "tests/support/DesktopTools.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;
using test::ByHand::click;
using test::ByHand::glideTo;
using test::ByHand::xdotool;

namespace {

/// The test desktop's window manager: the openbox whose environment carries this desktop's mark; 0 when there is none.
pid_t windowManager()
{
    const QByteArray mark = "MURMELI_DESKTOP_ID=" + qgetenv("MURMELI_DESKTOP_ID");
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList({ QStringLiteral("[0-9]*") }, QDir::Dirs)) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "openbox" && environ.open(QIODevice::ReadOnly)
            && environ.readAll().split('\0').contains(mark)) {
            return pid.toInt();
        }
    }
    return 0;
}

class SettingsWindowByHandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = test::testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path())); // where launch at login writes its entry
        murmeli.emplace();
        Q_EMIT murmeli->controller.notifications().showSettings();
        ASSERT_TRUE(waitUntil([&] { return window().isActiveWindow(); }, 10000));
    }

    QWidget& window() { return murmeli->views.settingsWindow()->window(); }
    settings::SettingsRootView& view() { return murmeli->views.settingsWindow()->rootView(); }
    settings::GeneralPage& general() { return *qobject_cast<settings::GeneralPage*>(view().page()); }
    void save(const char* what)
    {
        const QSize size = window().screen()->size() * qApp->devicePixelRatio();
        EXPECT_TRUE(window().screen()->grabWindow(0).save(test::screenshotFolder()
            + QStringLiteral("/settings-%1-on-%2x%3.png")
                  .arg(QLatin1String(what))
                  .arg(size.width())
                  .arg(size.height())));
    }

    QTemporaryDir root;
    std::optional<test::LaunchedMurmeli> murmeli;
};

// murmeli's strip stands above every window at the top centre of the screen: the settings window, fitted to the
// small screen, stands below the strip, its title bar whole, rather than under it.
TEST_F(SettingsWindowByHandTest, TheFittedWindowStandsBelowTheStrip)
{
    ASSERT_TRUE(waitUntil([&] { return murmeli->views.notchPanel() && murmeli->views.notchPanel()->window(); }));
    notch::NotchPanelController& panel = *murmeli->views.notchPanel();
    const QRect box = panel.rootView()->boxFrame().toAlignedRect();
    const QRect strip(panel.window()->mapToGlobal(box.topLeft()), box.size());
    const QRect area = window().screen()->availableGeometry();
    ASSERT_TRUE(waitUntil([&] { return area.contains(window().frameGeometry()); }));
    const QRect frame = window().frameGeometry();
    EXPECT_FALSE(frame.intersects(strip)) << "the window's frame from y " << frame.top() << " to " << frame.bottom()
                                          << " lies under the strip from y " << strip.top() << " to "
                                          << strip.bottom();
}

// The window and its title bar stay on the screen; the wheel runs the General page to its end, the display menu
// passing under the pointer taking none of the notches. Reset… there asks first, and Return gives the question's
// default answer, Cancel, which keeps the settings and the window.
TEST_F(SettingsWindowByHandTest, TheWheelRunsThePageOfTheFittedWindowToItsEndPastTheDisplayMenu)
{
    const QRect area = window().screen()->availableGeometry();
    EXPECT_TRUE(waitUntil([&] { return area.contains(window().frameGeometry()); }));
    murmeli->controller.defaults().setValue(QStringLiteral("settings.voice.preferStreaming"), false);
    ui::MenuPicker& picker = *general().displayPicker();
    const int chosen = picker.currentIndex();
    QScrollBar& bar = *view().findChild<QScrollArea*>(QStringLiteral("detail"))->verticalScrollBar();
    // Above the menu, which comes under the pointer as the page moves up.
    ASSERT_TRUE(glideTo(picker, { picker.width() / 2, -picker.height() }));
    const int pointerY = QCursor::pos().y();
    for (int notch = 0; notch < 60 && bar.value() < bar.maximum(); ++notch) {
        const int before = bar.value();
        ASSERT_TRUE(xdotool({ QStringLiteral("click"), QStringLiteral("5") }));
        ASSERT_TRUE(waitUntil([&] { return bar.value() > before; })) << "notch " << notch << " did not scroll";
    }
    EXPECT_LT(picker.mapToGlobal(QPoint(0, picker.height())).y(), pointerY) << "the menu did not pass the pointer";
    EXPECT_EQ(picker.currentIndex(), chosen);
    EXPECT_FALSE(murmeli->controller.defaults().contains(QStringLiteral("settings.display.preference")));
    auto& reset = *general().findChild<ui::KitButton*>(QStringLiteral("resetAll"));
    EXPECT_TRUE(area.contains(QRect(reset.mapToGlobal(QPoint()), reset.size())));
    save("end");

    ASSERT_TRUE(click(reset));
    ASSERT_TRUE(waitUntil([&] { return general().resetQuestion() && general().resetQuestion()->isActiveWindow(); }));
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("Return") }));
    ASSERT_TRUE(waitUntil([&] { return general().resetQuestion() == nullptr; }));
    EXPECT_TRUE(murmeli->controller.defaults().contains(QStringLiteral("settings.voice.preferStreaming")));
    EXPECT_TRUE(window().isVisible());
}

// Tab goes once round the sidebar and every control of the General page, each ringed in brass on the screen while it
// has the focus; Space on the launch-at-login switch then turns it on, which writes the autostart entry.
TEST_F(SettingsWindowByHandTest, TabRingsEachControlInTurnAndSpaceSwitchesTheFocusedOne)
{
    QListWidget& sidebar = *view().sidebar();
    QList<QWidget*> stops;
    for (int tab = 0; tab < 30 && (stops.size() < 2 || stops.last() != stops.first()); ++tab) {
        QWidget* before = QApplication::focusWidget();
        ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("Tab") }));
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() != before; }));
        QWidget& focused = *QApplication::focusWidget();
        stops.append(&focused);
        // The sidebar rings its chosen row inside the row; a control's ring lies just outside it.
        const int ring = &focused == &sidebar ? 2 : 4;
        const QRect inner = &focused == &sidebar
            ? sidebar.visualItemRect(sidebar.currentItem()).translated(sidebar.viewport()->pos()).adjusted(2, 2, -2, -2)
            : focused.rect();
        EXPECT_TRUE(waitUntil([&] {
            const QPoint at = focused.mapToGlobal(inner.topLeft() - QPoint(ring, ring));
            QImage band = window()
                              .screen()
                              ->grabWindow(0, at.x(), at.y(), inner.width() + 2 * ring, inner.height() + 2 * ring)
                              .toImage();
            QPainter(&band).fillRect(QRect(QPoint(ring, ring), inner.size()), Qt::black);
            return test::pixelsNear(band, ui::Color::vantorBrass, 40) > inner.width();
        })) << focused.metaObject()->className()
            << " " << focused.objectName().toStdString() << " shows no ring";
        if (&focused == general().launchAtLoginSwitch()) {
            save("focus-ring");
        }
    }
    ui::SettingsToggle* launchAtLogin = general().launchAtLoginSwitch();
    ASSERT_TRUE(stops.contains(general().findChild<ui::KitButton*>(QStringLiteral("resetAll"))));
    for (qsizetype next = 1; next <= stops.indexOf(launchAtLogin); ++next) {
        ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("Tab") }));
        ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == stops.at(next); }));
    }
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("space") }));
    EXPECT_TRUE(waitUntil([&] { return launchAtLogin->isChecked(); }));
    EXPECT_TRUE(QFileInfo::exists(root.filePath(QStringLiteral("autostart/murmeli.desktop"))));
}

// `murmeli settings` while the sign-in sheet is open, after the window was minimised and another took the focus,
// brings the window back and the sheet to the front: what is typed next goes into its e-mail field.
TEST_F(SettingsWindowByHandTest, ShowingTheSettingsAgainBringsTheOpenSignInSheetToTheKeys)
{
    view().sidebar()->setCurrentRow(
        int(settings::currentSettingsSections().indexOf(settings::SettingsSection::Account)));
    auto& account = *qobject_cast<cloud::AccountSectionView*>(view().page());
    ASSERT_TRUE(click(*account.signInButton()));
    ASSERT_TRUE(waitUntil([&] { return account.signInSheet() && account.signInSheet()->isActiveWindow(); }));
    ASSERT_TRUE(xdotool({ QStringLiteral("windowminimize"), QString::number(window().winId()) }));
    ASSERT_TRUE(waitUntil([&] { return window().isMinimized(); }));
    murmeli->views.showActivityLog();
    ASSERT_TRUE(test::activateWindow(murmeli->views.activityLog()->winId()));

    Q_EMIT murmeli->controller.notifications().showSettings();
    QLineEdit& email = *account.signInSheet()->emailField();
    ASSERT_TRUE(waitUntil([&] { return email.window()->isActiveWindow(); }));
    ASSERT_TRUE(xdotool({ QStringLiteral("type"), QStringLiteral("me@example.com") }));
    EXPECT_TRUE(waitUntil([&] { return email.text() == QStringLiteral("me@example.com"); }));
}

// Ctrl+W pressed in the window closes it. A Ctrl+W then held down (a stuck key, or a tool that died before letting
// go) repeats into whichever window has the focus: the window, asked for again and again, comes up and stays, and
// closes for the next Ctrl+W pressed there once the keys are let go.
TEST_F(SettingsWindowByHandTest, AHeldCtrlWClosesTheWindowOnceAndNeverKeepsItAway)
{
    auto letGo = qScopeGuard([] { xdotool({ QStringLiteral("keyup"), QStringLiteral("w"), QStringLiteral("ctrl") }); });
    ASSERT_TRUE(xdotool({ QStringLiteral("keydown"), QStringLiteral("ctrl"), QStringLiteral("w") }));
    ASSERT_TRUE(waitUntil([&] { return !window().isVisible(); })) << "Ctrl+W did not close the window";
    for (int asked = 1; asked <= 2; ++asked) {
        SCOPED_TRACE(asked);
        Q_EMIT murmeli->controller.notifications().showSettings();
        ASSERT_TRUE(waitUntil([&] { return window().isActiveWindow(); }, 10000)) << "the window did not come up";
        // The key repeats 25 times a second after 660 ms.
        EXPECT_FALSE(waitUntil([&] { return !window().isVisible(); }, 2000)) << "the held keys closed the window";
    }
    letGo.dismiss();
    ASSERT_TRUE(xdotool({ QStringLiteral("keyup"), QStringLiteral("w"), QStringLiteral("ctrl") }));
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+w") }));
    EXPECT_TRUE(waitUntil([&] { return !window().isVisible(); })) << "a Ctrl+W pressed once the keys were let go";
}

// A window manager that has stopped answering puts no window on the screen: the settings window asked for does not
// come up, and the log says so. Once the window manager goes on, the window is there, and asked for again it comes up
// with nothing in the log.
TEST_F(SettingsWindowByHandTest, ASettingsWindowTheDesktopDoesNotShowIsNamedInTheLog)
{
    const pid_t manager = windowManager();
    ASSERT_NE(manager, 0) << "the test desktop's window manager was not found";
    QStringList lines;
    murmeli->controller.onLog = [&lines, log = murmeli->controller.onLog](const QString& line, common::LogColor color) {
        lines << line;
        if (log) {
            log(line, color);
        }
    };
    const auto notShown = [&] { return lines.filter(QStringLiteral("the desktop has not shown it")).size(); };
    ASSERT_TRUE(xdotool({ QStringLiteral("key"), QStringLiteral("ctrl+w") }));
    ASSERT_TRUE(waitUntil([&] { return !window().isVisible(); }));
    ASSERT_EQ(::kill(manager, SIGSTOP), 0);
    auto goOn = qScopeGuard([manager] { ::kill(manager, SIGCONT); });
    Q_EMIT murmeli->controller.notifications().showSettings();
    EXPECT_TRUE(waitUntil([&] { return notShown() == 1; }, settings::SettingsWindowController::comeUpMs + 2000))
        << lines.join(QLatin1Char('\n')).toStdString();
    goOn.dismiss();
    ASSERT_EQ(::kill(manager, SIGCONT), 0);
    EXPECT_TRUE(waitUntil([&] { return window().isActiveWindow(); }, 10000));
    Q_EMIT murmeli->controller.notifications().showSettings();
    EXPECT_FALSE(waitUntil([&] { return notShown() > 1; }, settings::SettingsWindowController::comeUpMs + 1000));
}

} // namespace
