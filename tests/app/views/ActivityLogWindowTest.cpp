#include "main/app/views/ActivityLogWindow.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include "main/app/design/Tokens.h"

using namespace murmeli;
using app::ActivityLogWindow;
using common::LogColor;

namespace {

const QDateTime noon = QDateTime(QDate(2026, 3, 1), QTime(12, 0, 5));

// The colour of the message part of a line (after its time stamp).
QColor messageColor(const QTextBlock& block)
{
    return block.begin().fragment().isValid() ? (--block.end()).fragment().charFormat().foreground().color() : QColor();
}

} // namespace

TEST(ActivityLogWindowTest, LinesAreStampedColouredByLevelAndEscaped)
{
    ActivityLogWindow window;
    const std::pair<LogColor, QColor> levels[] = {
        { LogColor::Grey, app::Tokens::Notch::textMuted },
        { LogColor::Blue, app::Tokens::Notch::signalBlue },
        { LogColor::Orange, app::Tokens::Notch::signalAmber },
        { LogColor::Red, app::Tokens::Notch::signalRed },
        { LogColor::Green, app::Tokens::Notch::signalGreen },
    };
    for (const auto& [level, colour] : levels) {
        window.append(noon, common::toString(level), level);
    }
    window.append(noon, QStringLiteral("voice result"), LogColor::Purple);
    window.append(noon, QStringLiteral("two\nlines \x1b[31m"), LogColor::Red);

    const QTextDocument* document = window.textView()->document();
    ASSERT_EQ(document->blockCount(), 7);
    for (int i = 0; i < 5; ++i) {
        const QTextBlock block = document->findBlockByNumber(i);
        EXPECT_EQ(block.text(), QStringLiteral("12:00:05  ") + common::toString(levels[i].first));
        EXPECT_EQ(messageColor(block), levels[i].second) << block.text().toStdString();
    }
    // Voice results get a colour of their own.
    const QColor voice = messageColor(document->findBlockByNumber(5));
    for (const auto& [level, colour] : levels) {
        EXPECT_NE(voice, colour);
    }
    EXPECT_EQ(document->lastBlock().text(), QStringLiteral("12:00:05  two\\nlines \\x1b[31m"));
}

TEST(ActivityLogWindowTest, KeepsTheNewestLinesAndFollowsTheTailUnlessScrolledUp)
{
    ActivityLogWindow window;
    window.present();
    for (int i = 0; i < ActivityLogWindow::maxLines + 100; ++i) {
        window.append(noon, QStringLiteral("line %1").arg(i), LogColor::Grey);
    }
    const QTextDocument* document = window.textView()->document();
    EXPECT_EQ(document->blockCount(), ActivityLogWindow::maxLines);
    EXPECT_EQ(document->firstBlock().text(), QStringLiteral("12:00:05  line 100"));
    EXPECT_EQ(document->lastBlock().text(), QStringLiteral("12:00:05  line 2099"));

    QScrollBar* scroll = window.textView()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    window.append(noon, QStringLiteral("followed"), LogColor::Grey);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    scroll->setValue(scroll->maximum() / 2);
    const int reading = scroll->value();
    window.append(noon, QStringLiteral("not followed"), LogColor::Grey);
    EXPECT_EQ(scroll->value(), reading);
}
