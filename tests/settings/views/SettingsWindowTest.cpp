#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QWindow>

#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/LabPage.h"
#include "main/settings/views/pages/SttPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SectionHeader.h"
#include "main/ui/widgets/SettingsPage.h"
#include "tests/settings/views/SettingsWindowHarness.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::SettingsSection;

namespace {

QString pageTitle(settings::SettingsRootView& root)
{
    return static_cast<ui::SettingsPage*>(root.page())->header()->title();
}

void clickRow(QListWidget& sidebar, int row)
{
    QTest::mouseClick(sidebar.viewport(), Qt::LeftButton, {}, sidebar.visualItemRect(sidebar.item(row)).center());
}

} // namespace

// One window of fixed size, presented again rather than made twice; its sidebar lists the seven pages and a click
// on a row shows and stores that page.
TEST(SettingsWindowTest, OneFixedWindowWhoseSidebarChoosesThePage)
{
    test::SettingsWindowHarness harness;
    settings::SettingsWindowController& controller = harness.window();
    controller.present();
    QWidget& window = controller.window();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Settings"));
    // Where the screen has room for it with its frame (offscreen, the screen is 800 x 800).
    ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle()->isExposed(); }));
    EXPECT_EQ(window.size(),
        QSize(870, 720).boundedTo(
            window.screen()->availableGeometry().size().shrunkBy(window.windowHandle()->frameMargins())));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    const QPoint placed = window.pos();
    window.close();
    controller.present();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), placed) << "presenting again keeps the window where it was";

    settings::SettingsRootView& root = controller.rootView();
    QListWidget& sidebar = *root.sidebar();
    QStringList rows;
    for (int i = 0; i < sidebar.count(); ++i) {
        rows.append(sidebar.item(i)->text());
    }
    EXPECT_EQ(rows, (QStringList { "Account", "General", "Integrations", "STT", "Audio", "Lab", "About" }));
    EXPECT_EQ(pageTitle(root), QStringLiteral("General"));

    clickRow(sidebar, 6);
    EXPECT_EQ(root.shownSection(), SettingsSection::About);
    EXPECT_EQ(pageTitle(root), QStringLiteral("About"));
    EXPECT_EQ(harness.defaults.stringValue(QStringLiteral("settings.selectedSection")), QStringLiteral("about"));
}

// The keys that put a window away on the desktop close the settings, typed where the focus is; opened again, the
// window is the same one on the same page.
TEST(SettingsWindowTest, EscAndCtrlWCloseItAndItOpensAgainOnItsPage)
{
    test::SettingsWindowHarness harness;
    ASSERT_NE(harness.show<settings::LabPage>(SettingsSection::Lab), nullptr);
    QWidget& window = harness.window().window();
    for (const QKeySequence& keys : { QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W) }) {
        harness.window().present();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keySequence(QApplication::focusWidget(), keys);
        EXPECT_FALSE(window.isVisible()) << keys.toString().toStdString();
    }
    harness.window().present();
    EXPECT_EQ(harness.window().rootView().shownSection(), SettingsSection::Lab);
}

// A stored retired page opens the page that took it over with that row highlighted, and the STT page's "Sign in"
// moves sidebar and page to Account at once.
TEST(SettingsWindowTest, RetiredPagesOpenTheirSuccessorAndSignInJumpsToAccount)
{
    test::SettingsWindowHarness harness;
    harness.defaults.setValue(QStringLiteral("settings.selectedSection"), QStringLiteral("personalization"));
    settings::SettingsWindowController& controller = harness.window();
    controller.present();
    settings::SettingsRootView& root = controller.rootView();
    EXPECT_EQ(root.shownSection(), SettingsSection::Stt);
    EXPECT_EQ(root.sidebar()->currentItem()->text(), QStringLiteral("STT"));
    EXPECT_EQ(
        harness.defaults.stringValue(QStringLiteral("settings.selectedSection")), QStringLiteral("personalization"));

    // A fresh store chose the cloud, and nobody is signed in.
    auto* stt = qobject_cast<settings::SttPage*>(root.page());
    ASSERT_NE(stt, nullptr);
    auto* signIn = stt->findChild<ui::KitButton*>(QStringLiteral("signIn"));
    ASSERT_NE(signIn, nullptr);
    QTest::mouseClick(signIn, Qt::LeftButton);
    EXPECT_EQ(root.shownSection(), SettingsSection::Account);
    EXPECT_EQ(root.sidebar()->currentItem()->text(), QStringLiteral("Account"));
    EXPECT_EQ(harness.defaults.stringValue(QStringLiteral("settings.selectedSection")), QStringLiteral("account"));
    // The page that asked goes once its click has returned, at the event loop's next turn (which processEvents()
    // alone does not stand for: it leaves deferred deletions alone).
    EXPECT_TRUE(test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return root.findChild<settings::SttPage*>() == nullptr;
    }));
}

// Without an application behind it the window still saves a recorded hotkey, and hands it to nobody.
TEST(SettingsWindowTest, WithoutAHostHotkeysAreOnlySaved)
{
    test::SettingsWindowHarness harness(false);
    settings::SettingsWindowController& controller = harness.window();
    controller.viewModel().setCustomPTTHotkey(settings::PTTHotkey { 0xC0000, 'k', QStringLiteral("Ctrl+Alt+K") });
    EXPECT_TRUE(settings::PTTHotkey::loadFromDefaults(harness.defaults).isBound());
    EXPECT_FALSE(static_cast<bool>(controller.viewModel().onCustomPTTHotkeyChanged));
}

// A page left for another goes with the window even when the window closes before the page's own turn to go: its
// timers read the host and the preferences, which end with the window.
TEST(SettingsWindowTest, APageLeftJustBeforeTheWindowClosesGoesWithIt)
{
    test::SettingsWindowHarness harness;
    QPointer<QWidget> lab = harness.show<settings::LabPage>(SettingsSection::Lab);
    ASSERT_FALSE(lab.isNull());
    harness.window().viewModel().setSelectedSection(SettingsSection::General);
    ASSERT_NE(harness.window().rootView().page(), lab.data());
    harness.controller.reset();
    EXPECT_TRUE(lab.isNull()) << "the Lab page outlived its window";
}
