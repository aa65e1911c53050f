#include "main/notch/views/NotchASRTape.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "main/notch/kit/ViewEnvironment.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using notch::NotchASRTape;
using notch::TapeInputs;

TEST(NotchASRTapeTest, LineEstimate)
{
    const struct {
        const char* what;
        QString text;
        int lines;
    } cases[] = {
        { "empty", QString(), 1 },
        { "70 narrow characters", QString(70, u'a'), 1 },
        { "71 narrow characters", QString(71, u'a'), 2 },
        { "a, line feed, b", QStringLiteral("a\nb"), 2 },
        { "a lone line feed", QStringLiteral("\n"), 2 },
        { "35 ideographs fill 70 columns", QString(35, QChar(0x4F60)), 1 },
        { "36 ideographs", QString(36, QChar(0x4F60)), 2 },
        { "a family emoji is one wide character",
            QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467") + QString(68, u'a'), 1 },
        { "and one more", QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467") + QString(69, u'a'), 2 },
        { "fullwidth letters", QString(36, QChar(0xFF21)), 2 },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NotchASRTape::estimatedLineCount(c.text), c.lines) << c.what;
    }
}

TEST(NotchASRTapeTest, CharactersAreGraphemeClusters)
{
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString flag = QStringLiteral("\U0001F1E9\U0001F1EA");
    const QString accented = QStringLiteral("e\u0301");
    EXPECT_EQ(NotchASRTape::characters({}), QStringList {});
    EXPECT_EQ(NotchASRTape::characters(QStringLiteral("a") + family + flag + accented + QStringLiteral("\u4F60")),
        (QStringList { "a", family, flag, accented, QStringLiteral("\u4F60") }));
    EXPECT_EQ(NotchASRTape::characters(flag + flag), (QStringList { flag, flag }));
    EXPECT_EQ(NotchASRTape::characters(QStringLiteral("\r\n")), QStringList { QStringLiteral("\r\n") });
}

TEST(NotchASRTapeTest, RecentCharactersAndTheShownState)
{
    EXPECT_EQ(NotchASRTape::transitionStart(19), 0);
    EXPECT_EQ(NotchASRTape::transitionStart(20), 0);
    EXPECT_EQ(NotchASRTape::transitionStart(25), 5);
    using State = NotchASRTape::State;
    const struct {
        TapeInputs inputs;
        State state;
    } cases[] = {
        { { QString(), false, QString(), 560, QString() }, State::Streaming },
        { { QStringLiteral("raw"), true, QString(), 560, QString() }, State::Polishing },
        { { QStringLiteral("raw"), true, QStringLiteral("polished"), 560, QString() }, State::Crossfade },
        { { QStringLiteral("raw"), true, QStringLiteral("polished"), 560, QStringLiteral("hint") }, State::Hint },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NotchASRTape::stateFor(c.inputs), c.state);
    }
}

// Text taller than the room it is given keeps its newest line in view: the flow is moved up until its bottom is.
TEST(NotchASRTapeTest, TheNewestTextIsPinnedToTheBottom)
{
    test::FakeClock clock;
    notch::ViewEnvironment environment { &clock, {}, {} };
    NotchASRTape tape(environment);
    QImage image(560, 200, QImage::Format_ARGB32_Premultiplied);
    const auto draw = [&](const QString& raw, qreal height) {
        tape.update({ raw, false, QString(), 560, QString() });
        clock.advance(200);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        tape.paint(painter, QRectF(0, 0, 560, height), clock.monotonicMs());
    };

    draw(QStringLiteral("short"), 48);
    EXPECT_EQ(tape.pinnedOffset(), 0);
    ASSERT_EQ(tape.characterFrames().size(), 6u);

    // Twenty estimated lines: the viewport is at most 220 high, here capped by the 172 of the region.
    const QString longText = QString(1400, u'x');
    draw(longText, 172);
    EXPECT_GT(tape.pinnedOffset(), 0);
    const QRectF cursor = tape.characterFrames().back();
    EXPECT_LE(cursor.bottom(), 172 - NotchASRTape::paddingY + 0.5);
    EXPECT_GT(cursor.bottom(), 172 - NotchASRTape::paddingY - 20);
    EXPECT_LE(tape.contentHeight(560), NotchASRTape::scrollMaxHeight);
}
