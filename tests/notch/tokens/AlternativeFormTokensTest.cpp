#include <gtest/gtest.h>

#include "main/notch/model/SessionRow.h"
#include "main/notch/tokens/NotchFormToken.h"
#include "main/notch/tokens/NotchGeometryV3.h"
#include "main/notch/tokens/NotchShapeV3.h"
#include "main/notch/tokens/SessionListSizing.h"
#include "tests/notch/PathPoints.h"

namespace murmeli::notch {

namespace {

notch::SessionRow row(notch::SessionState state, const char* activity)
{
    notch::SessionRow r;
    r.state = std::move(state);
    r.activity = QString::fromUtf8(activity);
    return r;
}

TEST(AlternativeFormTokensTest, ListHeightAddsRowsUpToTheCeiling)
{
    EXPECT_DOUBLE_EQ(NotchGeometryV3::openedListHeight({}), 0);
    EXPECT_DOUBLE_EQ(NotchGeometryV3::openedListHeight({ 48, 70 }), 118);
    EXPECT_DOUBLE_EQ(NotchGeometryV3::openedListHeight(QList<double>(12, 48)), 560);

    EXPECT_EQ(NotchFormToken::openedList({ 48, 70 }), (NotchFormToken { 480, 118, 22, 36 }));
}

TEST(AlternativeFormTokensTest, RowHeightEstimates)
{
    const struct {
        const char* what;
        notch::SessionRow row;
        double height;
    } cases[] = {
        { "idle without activity", row(notch::SessionState::idle(), ""), 48 },
        { "working with activity", row(notch::SessionState::working(), "Edit main.cpp"), 70 },
        { "needs approval with activity", row(notch::SessionState::needsApproval(), "Bash"), 94 },
        { "error without activity", row(notch::SessionState::error("boom"), ""), 72 },
        { "waiting for an answer gets no extra", row(notch::SessionState::waitingForAnswer(), ""), 48 },
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(SessionListSizing::estimatedRowHeight(c.row), c.height) << c.what;
    }
    EXPECT_EQ(SessionListSizing::openedListSize({}), (SessionListSizing::ListSize { 480, 0 }));
    EXPECT_EQ(
        SessionListSizing::openedListSize({ cases[0].row, cases[2].row }), (SessionListSizing::ListSize { 480, 142 }));
}

TEST(AlternativeFormTokensTest, FlaredOutlineInsetsTheBodyByTheTopRadius)
{
    // 200 x 36 with 6 / 20: t = 6, b = 18 (half the height).
    const NotchShapeV3 closed { NotchShapeV3::closedTopRadius, NotchShapeV3::closedBottomRadius };
    const QList<QPointF> strip
        = { { 0, 0 }, { 6, 6 }, { 6, 18 }, { 24, 36 }, { 176, 36 }, { 194, 18 }, { 194, 6 }, { 200, 0 }, { 0, 0 } };
    EXPECT_EQ(test::pathPoints(closed.path(QRectF(0, 0, 200, 36))), strip);

    // 40 x 40 with 22 / 36: both held to a quarter of the width, 10.
    const NotchShapeV3 opened { NotchShapeV3::openedTopRadius, NotchShapeV3::openedBottomRadius };
    const QList<QPointF> square
        = { { 0, 0 }, { 10, 10 }, { 10, 30 }, { 20, 40 }, { 30, 30 }, { 30, 10 }, { 40, 0 }, { 0, 0 } };
    const QPainterPath path = opened.path(QRectF(0, 0, 40, 40));
    EXPECT_EQ(test::pathPoints(path), square);
    EXPECT_TRUE(path.contains(QPointF(20, 20)));
    EXPECT_FALSE(path.contains(QPointF(2, 20))) << "the body is inset below the top edge";
}

} // namespace
} // namespace murmeli::notch
