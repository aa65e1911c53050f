#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/AccessibilityControl.h"
#include "main/settings/views/pages/GeneralPage.h"
#include "main/settings/views/pages/HotkeyRecorder.h"
#include "main/ui/widgets/Kbd.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/MenuPicker.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/ui/widgets/SymbolButton.h"
#include "main/voice/preferences/AppSettingsLoader.h"
#include "tests/settings/views/SettingsWindowHarness.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::GeneralPage;

namespace {

class GeneralPageTest : public ::testing::Test {
protected:
    GeneralPage& page()
    {
        settings::SettingsWindowController& controller = m_harness.window();
        controller.present();
        auto* general = qobject_cast<GeneralPage*>(controller.rootView().page());
        EXPECT_NE(general, nullptr);
        return *general;
    }
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    static QAbstractButton* buttonWithText(const QMessageBox& box, const char* text)
    {
        for (QAbstractButton* candidate : box.buttons()) {
            if (candidate->text() == QLatin1String(text)) {
                return candidate;
            }
        }
        return nullptr;
    }
    ui::KitButton* button(const char* name) { return page().findChild<ui::KitButton*>(QString::fromLatin1(name)); }

    test::SettingsWindowHarness m_harness;
};

} // namespace

// The switch creates and removes the autostart entry; a change the desktop refuses puts the switch back and says why.
TEST_F(GeneralPageTest, LaunchAtLoginFollowsTheAutostartEntry)
{
    ui::SettingsToggle* toggle = page().launchAtLoginSwitch();
    const QString entry = m_harness.autostart.filePath();
    click(toggle);
    EXPECT_TRUE(QFileInfo::exists(entry));
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_EQ(m_harness.defaults.boolValue(QStringLiteral("settings.general.launchAtLogin")), true);
    click(toggle);
    EXPECT_FALSE(QFileInfo::exists(entry));

    // A file where the autostart folder should be.
    QDir(QFileInfo(entry).path()).removeRecursively();
    QFile blocker(QFileInfo(entry).path());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    click(toggle);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(page().startupRow()->sub()->contains(QStringLiteral("Not changed: could not create the folder")))
        << page().startupRow()->sub()->toStdString();
    ASSERT_FALSE(m_harness.host->logged.isEmpty());
    EXPECT_EQ(m_harness.host->logged.last().color, common::LogColor::Red);
}

// Recording swallows every key press until one makes a hotkey: a bare letter, a modifier alone and Shift on a letter
// do not; Ctrl+Alt+K does, is saved and reaches the global key; Escape ends a recording without a change; clear
// unbinds.
TEST_F(GeneralPageTest, TheRecorderTakesCtrlAltKAndRefusesWhatIsNoHotkey)
{
    settings::HotkeyRecorder* recorder = page().hotkeyRecorder();
    auto* field = new QLineEdit(&page());
    field->show();
    field->setFocus();
    EXPECT_EQ(recorder->recordButton()->text(), QStringLiteral("Record…"));
    click(recorder->recordButton());
    EXPECT_EQ(recorder->recordButton()->text(), QStringLiteral("Press keys…"));

    QTest::keyClick(field, Qt::Key_A);
    QTest::keyClick(field, Qt::Key_K, Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_TRUE(field->text().isEmpty()) << "key presses while recording reach nothing else";

    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->keyCap()->label(), QStringLiteral("Ctrl+Alt+K"));
    EXPECT_FALSE(recorder->keyCap()->isHidden());
    EXPECT_EQ(recorder->recordButton()->text(), QStringLiteral("Rebind"));
    const settings::PTTHotkey saved = settings::PTTHotkey::loadFromDefaults(m_harness.defaults);
    EXPECT_EQ(saved.display, QStringLiteral("Ctrl+Alt+K"));
    EXPECT_EQ(saved.keyCode, 'k');
    ASSERT_EQ(m_harness.host->rebound.size(), 1u);
    EXPECT_EQ(m_harness.host->rebound.front(), saved);

    QTest::keyClick(field, Qt::Key_B);
    EXPECT_EQ(field->text(), QStringLiteral("b")) << "after recording keys reach the application again";
    click(recorder->recordButton());
    QTest::keyClick(field, Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(m_harness.host->rebound.size(), 1u);

    click(recorder->clearButton());
    EXPECT_FALSE(m_harness.defaults.contains(QString::fromLatin1(settings::PTTHotkey::udKey)));
    EXPECT_EQ(recorder->recordButton()->text(), QStringLiteral("Record…"));
    EXPECT_TRUE(recorder->keyCap()->isHidden());
    ASSERT_EQ(m_harness.host->rebound.size(), 2u);
    EXPECT_FALSE(m_harness.host->rebound.back().isBound());
}

// The picker lists Auto and each screen; a screen pins its number and the panel is told to choose again; Auto
// unpins.
TEST_F(GeneralPageTest, TheDisplayPickerPinsAScreen)
{
    ui::MenuPicker* picker = page().displayPicker();
    EXPECT_EQ(picker->entryTexts(), (QStringList { "Auto", "Laptop panel", "Desk monitor" }));
    EXPECT_TRUE(page().displayRow()->sub()->startsWith(QStringLiteral("Auto:")));
    QSignalSpy screensAsked(&m_harness.hub, &common::NotificationHub::screenParametersChanged);
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(m_harness.defaults.intValue(QStringLiteral("notch.fixedScreenID")), 22);
    EXPECT_EQ(
        m_harness.defaults.stringValue(QStringLiteral("settings.display.preference")), QStringLiteral("ex-screen"));
    EXPECT_EQ(page().displayRow()->sub(),
        QStringLiteral("Pinned to Desk monitor. Falls back to the primary screen if it is disconnected."));
    EXPECT_EQ(screensAsked.count(), 2);
    QTest::keyClick(picker, Qt::Key_Home);
    EXPECT_FALSE(m_harness.defaults.contains(QStringLiteral("notch.fixedScreenID")));
    EXPECT_EQ(m_harness.defaults.stringValue(QStringLiteral("settings.display.preference")), QStringLiteral("auto"));
}

// A wheel notch that lands on the display menu scrolls the page while the menu has not been given the focus, and
// changes the choice, leaving the page where it is, once it has. The notch goes where the desktop sends it: to the
// widget under the pointer, and from there up through the widgets that pass it on.
TEST_F(GeneralPageTest, AWheelNotchOnTheDisplayMenuScrollsThePageUntilTheMenuHasTheFocus)
{
    ui::MenuPicker* picker = page().displayPicker();
    QWidget* window = picker->window();
    window->resize(window->width(), 360);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QApplication::setActiveWindow(window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    auto* detail = window->findChild<QScrollArea*>(QStringLiteral("detail"));
    ASSERT_NE(detail, nullptr);
    QScrollBar& bar = *detail->verticalScrollBar();
    const struct {
        const char* what;
        bool focused;
        bool pageMoves;
    } cases[] = { { "not focused", false, true }, { "focused", true, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.focused) {
            picker->setFocus(Qt::TabFocusReason);
        } else {
            picker->clearFocus();
        }
        ASSERT_EQ(picker->hasFocus(), c.focused);
        // The menu in the middle of the view, with room to scroll either way.
        const QWidget* content = detail->widget();
        bar.setValue(picker->mapTo(content, picker->rect().center()).y() - detail->viewport()->height() / 2);
        ASSERT_GT(bar.value(), 0) << "menu at " << picker->mapTo(content, QPoint()).y() << " of " << content->height()
                                  << ", view " << detail->viewport()->height();
        ASSERT_LT(bar.value(), bar.maximum());
        const int scrolled = bar.value();
        const QString chosen = picker->currentText();

        const QPoint onMenu = picker->mapTo(window, picker->rect().center());
        QWidget* under = window->childAt(onMenu);
        ASSERT_EQ(under, picker);
        const QPoint at = under->mapFrom(window, onMenu);
        QWheelEvent notch(at, under->mapToGlobal(at), QPoint(), QPoint(0, -QWheelEvent::DefaultDeltasPerStep),
            Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        // As the window system's own notch, which the application passes up from a widget that ignores it.
        QSpontaneKeyEvent::setSpontaneous(&notch);
        qApp->notify(under, &notch);

        EXPECT_EQ(bar.value() > scrolled, c.pageMoves) << "the page is at " << bar.value() << ", was at " << scrolled;
        EXPECT_EQ(picker->currentText() != chosen, !c.pageMoves)
            << "the menu shows " << picker->currentText().toStdString();
    }
}

// Typing into other windows as the desktop answers it; a refused injection marks it stale until the page is built
// again.
TEST_F(GeneralPageTest, TheAccessibilityBadgeFollowsTheDesktopAndRefusedInjections)
{
    settings::AccessibilityControl* control = page().accessibility();
    EXPECT_EQ(control->badge()->label(), QStringLiteral("Granted"));
    EXPECT_EQ(control->badge()->kind(), ui::BadgeKind::Active);
    Q_EMIT m_harness.hub.axRevoked(QStringLiteral("injector"));
    EXPECT_EQ(control->badge()->label(), QStringLiteral("Stale (recent silent-fail)"));
    click(control->recheckButton());
    EXPECT_EQ(control->badge()->label(), QStringLiteral("Stale (recent silent-fail)"));

    m_harness.host->injection = settings::InjectionSupport { false, QStringLiteral("No XTEST on this display.") };
    click(control->recheckButton());
    EXPECT_EQ(control->badge()->label(), QStringLiteral("Blocked"));
    EXPECT_EQ(control->badge()->kind(), ui::BadgeKind::Warn);
    EXPECT_TRUE(page().accessibilityRow()->sub()->endsWith(QStringLiteral("No XTEST on this display.")));
}

// The log buttons open the activity log and the log folder (made 0700); "Open" makes the settings file's template
// once and never touches the file again.
TEST_F(GeneralPageTest, LogsAndTheSettingsFileOpen)
{
    QSignalSpy logShown(&m_harness.hub, &common::NotificationHub::showActivityLog);
    click(button("openActivityLog"));
    EXPECT_EQ(logShown.count(), 1);

    click(button("showLogFolder"));
    const QString logs = m_harness.home.path() + QStringLiteral("/.murmeli/logs");
    ASSERT_EQ(m_harness.opened.size(), 1);
    EXPECT_EQ(m_harness.opened.last(), QUrl::fromLocalFile(logs));
    const QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_EQ(QFileInfo(logs).permissions() & (ownerOnly | others), ownerOnly);

    click(button("openSettingsFile"));
    const QString file = voice::AppSettingsLoader::configPath(m_harness.home.path());
    EXPECT_EQ(m_harness.opened.last(), QUrl::fromLocalFile(file));
    QFile created(file);
    ASSERT_TRUE(created.open(QIODevice::ReadWrite));
    EXPECT_EQ(created.readAll(), QByteArray(voice::AppSettingsLoader::defaultFileContent));
    EXPECT_EQ(created.size(), 66);
    created.write("\n// edited");
    created.close();
    click(button("openSettingsFile"));
    ASSERT_TRUE(created.open(QIODevice::ReadOnly));
    EXPECT_TRUE(created.readAll().endsWith("// edited"));
}

// "Reset…" asks first: Cancel, the default answer, keeps every key; Reset removes the "settings." keys and the pinned
// screen, keeps the rest, and closes the window.
TEST_F(GeneralPageTest, ResetAsksFirstThenRemovesTheResettableKeysAndClosesTheWindow)
{
    m_harness.defaults.setValue(QStringLiteral("settings.voice.preferStreaming"), false);
    m_harness.defaults.setValue(QStringLiteral("notch.fixedScreenID"), 22);
    m_harness.defaults.setValue(QStringLiteral("ptt.fnDoubleTapEnabled"), false);
    QWidget& window = m_harness.window().window();
    click(button("resetAll"));
    QMessageBox* question = page().resetQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(question->text(), QStringLiteral("Reset all settings?"));
    click(buttonWithText(*question, "Cancel"));
    EXPECT_TRUE(m_harness.defaults.contains(QStringLiteral("settings.voice.preferStreaming")));
    EXPECT_TRUE(window.isVisible());

    click(button("resetAll"));
    EXPECT_EQ(page().resetQuestion()->defaultButton()->text(), QStringLiteral("Cancel"));
    click(buttonWithText(*page().resetQuestion(), "Reset"));
    EXPECT_FALSE(m_harness.defaults.contains(QStringLiteral("settings.voice.preferStreaming")));
    EXPECT_FALSE(m_harness.defaults.contains(QStringLiteral("notch.fixedScreenID")));
    EXPECT_EQ(m_harness.defaults.boolValue(QStringLiteral("ptt.fnDoubleTapEnabled")), false);
    EXPECT_FALSE(window.isVisible());
}
