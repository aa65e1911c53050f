#include "main/app/views/ActivityLogWindow.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

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
    EXPECT_EQ(document->blockCount(), ActivityLogWindow::maxLines);
    EXPECT_EQ(document->firstBlock().text(), QStringLiteral("12:00:05  line 100"));

    QScrollBar* scroll = window.textView()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    // Text from outside can neither start a line of its own nor carry a terminal's escape.
    window.append(noon, QStringLiteral("two\nlines \x1b[31m"), common::LogColor::Red);
    EXPECT_EQ(document->lastBlock().text(), QStringLiteral("12:00:05  two\\nlines \\x1b[31m"));
    EXPECT_EQ(scroll->value(), scroll->maximum());

    scroll->setValue(scroll->maximum() / 2);
    const int reading = scroll->value();
    window.append(noon, QStringLiteral("not followed"), common::LogColor::Grey);
    EXPECT_EQ(scroll->value(), reading);
}
