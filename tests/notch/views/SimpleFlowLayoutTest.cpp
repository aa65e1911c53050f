#include "main/notch/views/SimpleFlowLayout.h"

#include <limits>

#include <gtest/gtest.h>

using namespace murmeli::notch;

namespace {

std::vector<SimpleFlowLayout::Measure> boxes(std::initializer_list<QSizeF> sizes)
{
    std::vector<SimpleFlowLayout::Measure> measures;
    for (const QSizeF& size : sizes) {
        measures.push_back([size](std::optional<qreal>) { return size; });
    }
    return measures;
}

} // namespace

TEST(SimpleFlowLayoutTest, ChildrenFlowIntoRowsThatStartAtTheLeadingEdge)
{
    const SimpleFlowLayout tape(0, 2);
    // Three 30-wide items in 70: two on the first row, the third wraps; rows are as tall as their tallest child.
    const auto children = boxes({ { 30, 10 }, { 30, 14 }, { 30, 10 } });
    EXPECT_EQ(tape.sizeThatFits(70, children), QSizeF(70, 14 + 2 + 10));
    EXPECT_EQ(tape.place(QRectF(5, 7, 70, 100), children),
        (std::vector<QRectF> { { 5, 7, 30, 10 }, { 35, 7, 30, 14 }, { 5, 7 + 16, 30, 10 } }));

    // A child that exactly fills the rest of the row stays on it.
    const SimpleFlowLayout spaced(4, 2);
    EXPECT_EQ(spaced.sizeThatFits(64, boxes({ { 30, 10 }, { 30, 10 } })).height(), 10);
    EXPECT_EQ(spaced.sizeThatFits(63.9, boxes({ { 30, 10 }, { 30, 10 } })).height(), 22);

    // Unbounded: one row, gaps of spacing, the widest row's width.
    EXPECT_EQ(spaced.sizeThatFits(std::nullopt, boxes({ { 10, 5 }, { 20, 9 }, { 30, 7 } })), QSizeF(68, 9));
    EXPECT_EQ(spaced.sizeThatFits(std::numeric_limits<qreal>::infinity(), boxes({ { 10, 5 } })), QSizeF(10, 5));

    // No children: nothing placed, no height, all of a finite width.
    EXPECT_EQ(spaced.sizeThatFits(std::nullopt, {}), QSizeF(0, 0));
    EXPECT_EQ(spaced.sizeThatFits(120, {}), QSizeF(120, 0));
    EXPECT_TRUE(spaced.place(QRectF(0, 0, 120, 50), {}).empty());
}

TEST(SimpleFlowLayoutTest, AChildWiderThanTheRowGetsExactlyTheRowToItself)
{
    const SimpleFlowLayout layout(4, 2);
    const auto children = boxes({ { 20, 10 }, { 500, 12 }, { 10, 10 } });
    const std::vector<QRectF> frames = layout.place(QRectF(0, 0, 100, 100), children);
    EXPECT_EQ(frames[0], QRectF(0, 0, 20, 10));
    EXPECT_EQ(frames[1], QRectF(0, 12, 100, 12));
    EXPECT_EQ(frames[2], QRectF(0, 26, 10, 10));
    EXPECT_EQ(layout.sizeThatFits(100, children), QSizeF(100, 10 + 2 + 12 + 2 + 10));
}
