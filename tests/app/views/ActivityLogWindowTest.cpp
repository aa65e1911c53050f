#include "main/app/views/ActivityLogWindow.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "tests/support/Wait.h"

using namespace murmeli;
using app::ActivityLogWindow;

TEST(ActivityLogWindowTest, KeepsTheNewestEscapedLinesAndFollowsTheTailUnlessScrolledUp)
{
    const QDateTime noon(QDate(2026, 3, 1), QTime(12, 0, 5));
    ActivityLogWindow window;
    window.present();
    for (int i = 0; i < ActivityLogWindow::maxLines + 100; ++i) {
        window.append(noon, QStringLiteral("line %1").arg(i), common::LogColor::Grey);
    }
    const QTextDocument* document = window.textView()->document();
    // The lines of one turn of the event loop reach the view together.
    ASSERT_TRUE(test::waitUntil([&] { return document->blockCount() == ActivityLogWindow::maxLines; }));
    EXPECT_EQ(document->firstBlock().text(), QStringLiteral("12:00:05  line 100"));

    QScrollBar* scroll = window.textView()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    // Text from outside can neither start a line of its own nor carry a terminal's escape.
    window.append(noon, QStringLiteral("two\nlines \x1b[31m"), common::LogColor::Red);
    ASSERT_TRUE(test::waitUntil([&] { return document->lastBlock().text().contains(QStringLiteral("two")); }));
    EXPECT_EQ(document->lastBlock().text(), QStringLiteral("12:00:05  two\\nlines \\x1b[31m"));
    EXPECT_EQ(scroll->value(), scroll->maximum());

    // Scrolled up, the reader goes on reading the same line while a flood drops the oldest lines above it.
    scroll->setValue(scroll->maximum() / 2);
    const auto lineAtTop = [&] { return window.textView()->cursorForPosition(QPoint(0, 0)).block().text(); };
    const QString reading = lineAtTop();
    for (int i = 0; i < 300; ++i) {
        window.append(noon, QStringLiteral("not followed %1").arg(i), common::LogColor::Grey);
    }
    ASSERT_TRUE(test::waitUntil([&] { return document->lastBlock().text().endsWith(QStringLiteral("followed 299")); }));
    EXPECT_LT(scroll->value(), scroll->maximum());
    EXPECT_EQ(lineAtTop(), reading);
}

TEST(ActivityLogWindowTest, LinesLoggedWhileHiddenAppearWhenTheWindowOpens)
{
    const QDateTime noon(QDate(2026, 3, 1), QTime(12, 0, 5));
    ActivityLogWindow window;
    window.append(noon, QStringLiteral("before the flood"), common::LogColor::Grey);
    for (int i = 0; i < ActivityLogWindow::maxLines * 3; ++i) {
        window.append(noon, QStringLiteral("Hook: PostToolUse %1").arg(i), common::LogColor::Grey);
    }
    const QTextDocument* document = window.textView()->document();
    window.present();
    // Only the newest maxLines are kept, hidden or not, and the view opens at the newest.
    EXPECT_EQ(document->blockCount(), ActivityLogWindow::maxLines);
    EXPECT_EQ(document->firstBlock().text(),
        QStringLiteral("12:00:05  Hook: PostToolUse %1").arg(ActivityLogWindow::maxLines * 2));
    EXPECT_EQ(document->lastBlock().text(),
        QStringLiteral("12:00:05  Hook: PostToolUse %1").arg(ActivityLogWindow::maxLines * 3 - 1));
    QScrollBar* scroll = window.textView()->verticalScrollBar();
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

// The keys that put a window away on the desktop close the log, and opened again it still has its lines.
TEST(ActivityLogWindowTest, EscAndCtrlWCloseItAndItOpensAgainWithItsLines)
{
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } rows[] = {
        { "Esc", Qt::Key_Escape, Qt::NoModifier },
        { "Ctrl+W", Qt::Key_W, Qt::ControlModifier },
    };
    ActivityLogWindow window;
    window.append(QDateTime(QDate(2026, 3, 1), QTime(12, 0, 5)), QStringLiteral("kept"), common::LogColor::Grey);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window.present();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        // Typed where the focus is, in the text.
        QTest::keyClick(window.textView(), row.key, row.modifiers);
        EXPECT_FALSE(window.isVisible());
    }
    window.present();
    EXPECT_TRUE(window.textView()->document()->firstBlock().text().endsWith(QStringLiteral("kept")));
}
