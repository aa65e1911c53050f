#include "main/notch/kit/Stack.h"

#include <gtest/gtest.h>

using namespace murmeli::notch;

TEST(StackTest, FlexibleItemsShareTheFreeWidthAndFixedOnesSitInTheMiddle)
{
    // The notched strip: two equally flexible columns round a 200-wide gap in a 380-wide strip.
    const std::vector<Span> notched = layoutRow({ { 0, true }, { 200, false }, { 0, true } }, 0, 10, 380);
    ASSERT_EQ(notched.size(), 3u);
    EXPECT_DOUBLE_EQ(notched[0].x, 10);
    EXPECT_DOUBLE_EQ(notched[0].width, 90);
    EXPECT_DOUBLE_EQ(notched[1].x, 100);
    EXPECT_DOUBLE_EQ(notched[2].x, 300);
    EXPECT_DOUBLE_EQ(notched[2].width, 90);

    // Fixed items 8 apart centred in the room they have; a flexible one keeps at least its least width.
    const std::vector<Span> pair = layoutRow({ { 20 }, { 30 } }, 8, 0, 100);
    EXPECT_DOUBLE_EQ(pair[0].x, 21);
    EXPECT_DOUBLE_EQ(pair[1].x, 49);
    const std::vector<Span> squeezed = layoutRow({ { 80 }, { 10, true } }, 0, 0, 50);
    EXPECT_DOUBLE_EQ(squeezed[1].x, 80);
    EXPECT_DOUBLE_EQ(squeezed[1].width, 10);
    EXPECT_DOUBLE_EQ(rowWidth({ { 20 }, { 30 }, { 5 } }, 3), 61);

    EXPECT_EQ(inset(QRectF(0, 0, 100, 40), Insets::horizontal(14)), QRectF(14, 0, 72, 40));
    EXPECT_EQ(
        aligned(QSizeF(10, 10), QRectF(0, 0, 100, 40), Qt::AlignRight | Qt::AlignVCenter), QRectF(90, 15, 10, 10));
}
