#include "main/notch/views/StripLabels.h"

#include <gtest/gtest.h>

#include "main/notch/kit/RowView.h"
#include "main/notch/kit/TextView.h"

using namespace murmeli::notch;
using StripLabels::ActivityParts;

TEST(StripLabelsTest, ActivityNamesSplitIntoToolAndTarget)
{
    const QString dot = QStringLiteral(" \u00B7 ");
    const struct {
        QString name;
        ActivityParts parts;
    } rows[] = {
        { "Bash" + dot + "npm test", { "Bash", QString("npm test") } },
        { "Read main.c", { "Read", QString("main.c") } },
        { QString::fromUtf8("Thinking…"), { QString::fromUtf8("Thinking…"), std::nullopt } },
        { QString::fromUtf8("Reading files…"), { QString::fromUtf8("Reading files…"), std::nullopt } },
        { "Compacting", { "Compacting", std::nullopt } },
        { dot + "npm test", { "", QString("npm test") } },
        { "Bash" + dot, { "Bash", QString("") } },
        { QString::fromUtf8("Grep") + dot + QString::fromUtf8("a b…"), { "Grep", QString::fromUtf8("a b…") } },
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StripLabels::activityParts(row.name), row.parts) << row.name.toStdString();
    }

    // An empty target is not drawn; an empty tool is, so the target starts 4 further right.
    const StripLabels::Label bare = StripLabels::activity("Bash" + dot);
    EXPECT_EQ(static_cast<RowView&>(*bare.content).children().size(), 1u);
    const StripLabels::Label leading = StripLabels::activity(dot + "npm test");
    EXPECT_EQ(static_cast<RowView&>(*leading.content).children().size(), 2u);
}

TEST(StripLabelsTest, ACompletionScrollsOnlyWhenSlowOrFullWidth)
{
    EXPECT_FALSE(StripLabels::completion(QStringLiteral("12 files"), false, { std::nullopt, 3, [] {} }).marquee);
    const StripLabels::Label slow = StripLabels::completion(QStringLiteral("12 files"), true, { std::nullopt, 3, {} });
    ASSERT_TRUE(slow.marquee);
    EXPECT_FALSE(slow.marquee->loops) << "a slow run never ends";
    const StripLabels::Label full = StripLabels::completion(QStringLiteral("12 files"), false, { 300.0, 2, {} });
    ASSERT_TRUE(full.marquee);
    EXPECT_DOUBLE_EQ(full.marquee->maxWidth, 300);
    EXPECT_EQ(full.marquee->loops, 2);
}
