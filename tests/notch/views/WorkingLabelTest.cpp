#include "main/notch/views/WorkingLabel.h"

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

using namespace murmeli;
using namespace murmeli::notch;

TEST(WorkingLabelTest, TheDotsStepEveryHalfSecondFromNoneToThreeAndAgain)
{
    test::FakeClock clock;
    int redraws = 0;
    ViewEnvironment environment { &clock, [] { return false; }, [&] { ++redraws; } };
    {
        WorkingLabel label(environment);
        QStringList seen { label.dots() };
        for (int step = 0; step < 5; ++step) {
            clock.advance(WorkingLabel::tickMs - 1);
            EXPECT_EQ(label.dots(), seen.last()) << "not before the half second";
            clock.advance(1);
            seen << label.dots();
        }
        EXPECT_EQ(seen, (QStringList { "", ".", "..", "...", "", "." }));
        EXPECT_EQ(redraws, 5);
        // The slot keeps the label's width whatever the dots.
        const qreal width = label.idealSize().width();
        clock.advance(WorkingLabel::tickMs);
        EXPECT_DOUBLE_EQ(label.idealSize().width(), width);
    }
    EXPECT_EQ(clock.pendingTimers(), 0) << "the timer stops when the label leaves";

    // A fresh label starts from no dots again.
    WorkingLabel again(environment);
    EXPECT_EQ(again.dots(), QString());
}

TEST(WorkingLabelTest, WithReducedMotionTheSlotStaysEmptyAndNoTimerRuns)
{
    test::FakeClock clock;
    ViewEnvironment environment { &clock, [] { return true; }, {} };
    WorkingLabel label(environment);
    EXPECT_EQ(clock.pendingTimers(), 0);
    clock.advance(5000);
    EXPECT_EQ(label.dots(), QString());
}
