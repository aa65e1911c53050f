#include "main/notch/views/Marquee.h"

#include <gtest/gtest.h>

#include "tests/support/FakeClock.h"

using namespace murmeli;
using namespace murmeli::notch;

namespace {

/// Content of an exact width.
class Box final : public View {
public:
    explicit Box(qreal width) : m_width(width) { }
    QSizeF idealSize() const override { return { m_width, 12 }; }
    void paint(QPainter&, const QRectF&, qint64) override { }

private:
    qreal m_width;
};

struct Rig {
    test::FakeClock clock;
    ViewEnvironment environment;
    int finished = 0;

    explicit Rig(bool reduceMotion = false)
    {
        environment.clock = &clock;
        environment.reduceMotion = [reduceMotion] { return reduceMotion; };
    }

    MarqueeSpec spec(qreal maxWidth, std::optional<int> loops, double duration = 14)
    {
        return { maxWidth, duration, loops, [this] { ++finished; } };
    }
};

} // namespace

TEST(MarqueeTest, APassCountScrollsEvenShortTextAtFiftyPointsASecondAndFinishesOnce)
{
    Rig rig;
    Marquee marquee(rig.environment, rig.spec(180, 3), std::make_unique<Box>(100));
    EXPECT_TRUE(marquee.isScrolling());
    EXPECT_DOUBLE_EQ(marquee.gap(), 80);
    EXPECT_DOUBLE_EQ(marquee.distance(), 180);
    EXPECT_DOUBLE_EQ(marquee.passSeconds(), 3.6);
    EXPECT_EQ(marquee.idealSize(), QSizeF(180, 12));

    EXPECT_DOUBLE_EQ(marquee.offsetAt(0), 0);
    EXPECT_NEAR(marquee.offsetAt(1800), -90, 1e-9);
    EXPECT_NEAR(marquee.offsetAt(3600 + 900), -45, 1e-9);
    rig.clock.advance(10'799);
    EXPECT_EQ(rig.finished, 0);
    EXPECT_TRUE(marquee.isAnimating(rig.clock.monotonicMs()));
    rig.clock.advance(1);
    EXPECT_EQ(rig.finished, 1);
    EXPECT_FALSE(marquee.isAnimating(rig.clock.monotonicMs()));
    rig.clock.advance(60'000);
    EXPECT_EQ(rig.finished, 1);
}

TEST(MarqueeTest, UnderReducedMotionItStandsStillButStillReportsTheEndOfItsPasses)
{
    // The summary strip waits for this report to end; without it, it would stay for good.
    Rig rig(true);
    Marquee marquee(rig.environment, rig.spec(180, 3), std::make_unique<Box>(100));
    EXPECT_FALSE(marquee.isScrolling());
    EXPECT_EQ(marquee.idealSize(), QSizeF(100, 12));
    EXPECT_DOUBLE_EQ(marquee.offsetAt(5000), 0);
    EXPECT_FALSE(marquee.isAnimating(0));
    rig.clock.advance(10'799);
    EXPECT_EQ(rig.finished, 0);
    rig.clock.advance(1);
    EXPECT_EQ(rig.finished, 1);

    // Endless marquees have no end to report, moving or not.
    Marquee endless(rig.environment, rig.spec(180, std::nullopt), std::make_unique<Box>(400));
    EXPECT_FALSE(endless.isScrolling());
    EXPECT_EQ(endless.idealSize(), QSizeF(180, 12));
    EXPECT_FALSE(endless.finishPending());
}

TEST(MarqueeTest, WithoutAPassCountOnlyOverflowingTextScrollsAndItNeverFinishes)
{
    Rig rig;
    Marquee fits(rig.environment, rig.spec(180, std::nullopt), std::make_unique<Box>(181));
    EXPECT_FALSE(fits.isScrolling());
    EXPECT_EQ(fits.idealSize(), QSizeF(180, 12));
    Marquee narrow(rig.environment, rig.spec(180, std::nullopt), std::make_unique<Box>(120));
    EXPECT_EQ(narrow.idealSize(), QSizeF(120, 12));
    Marquee over(rig.environment, rig.spec(180, std::nullopt), std::make_unique<Box>(181.01));
    EXPECT_TRUE(over.isScrolling());

    Marquee wide(rig.environment, rig.spec(180, std::nullopt, 14), std::make_unique<Box>(400));
    EXPECT_DOUBLE_EQ(wide.gap(), 44);
    EXPECT_DOUBLE_EQ(wide.distance(), 444);
    EXPECT_DOUBLE_EQ(wide.passSeconds(), 14);
    EXPECT_NEAR(wide.offsetAt(7000), -222, 1e-9);
    EXPECT_NEAR(wide.offsetAt(14'000 * 5 + 7000), -222, 1e-9);
    EXPECT_TRUE(wide.isAnimating(1'000'000));
    EXPECT_FALSE(wide.finishPending());
    rig.clock.advance(100'000);
    EXPECT_EQ(rig.finished, 0);
}

TEST(MarqueeTest, OnlyAWidthChangeOfMoreThanHalfAPointRestartsAndReschedulesTheFinish)
{
    Rig rig;
    Marquee marquee(rig.environment, rig.spec(180, 3), std::make_unique<Box>(100));
    rig.clock.advance(2000);
    marquee.update(rig.spec(180, 3), std::make_unique<Box>(100.4));
    EXPECT_NEAR(marquee.offsetAt(rig.clock.monotonicMs()), -100, 1e-9);
    EXPECT_DOUBLE_EQ(marquee.contentWidth(), 100);

    marquee.update(rig.spec(180, 3), std::make_unique<Box>(100.6));
    EXPECT_DOUBLE_EQ(marquee.offsetAt(rig.clock.monotonicMs()), 0);
    // Still 180 a pass (the gap shrank as the text grew): the finish moves from 10.8 s to 12.8 s.
    rig.clock.advance(8800);
    EXPECT_EQ(rig.finished, 0) << "the first schedule was dropped";
    rig.clock.advance(2000);
    EXPECT_EQ(rig.finished, 1);
}

TEST(MarqueeTest, AMarqueeRemovedBeforeItsPassesEndNeverFinishes)
{
    Rig rig;
    {
        Marquee marquee(rig.environment, rig.spec(180, 3), std::make_unique<Box>(100));
        rig.clock.advance(5000);
        EXPECT_TRUE(marquee.finishPending());
    }
    EXPECT_EQ(rig.clock.pendingTimers(), 0);
    rig.clock.advance(10'000);
    EXPECT_EQ(rig.finished, 0);
}
