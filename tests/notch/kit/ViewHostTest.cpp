#include "main/notch/kit/ViewHost.h"

#include <gtest/gtest.h>

#include <QImage>

#include "main/notch/views/BrandDot.h"
#include "main/notch/views/PopInGlyph.h"
#include "main/notch/views/SessionCountBadge.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using namespace murmeli::notch;

namespace {

/// Counts the frames drawn of the view it wraps.
class CountingView final : public View {
public:
    explicit CountingView(std::unique_ptr<View> child) : m_child(std::move(child)) { }

    int paints = 0;

    QSizeF idealSize() const override { return m_child->idealSize(); }
    void paint(QPainter& painter, const QRectF& frame, qint64 nowMs) override
    {
        ++paints;
        m_child->paint(painter, frame, nowMs);
    }
    bool isAnimating(qint64 nowMs) const override { return m_child->isAnimating(nowMs); }

private:
    std::unique_ptr<View> m_child;
};

void renderOnce(ViewHost& host)
{
    QImage image(host.size(), QImage::Format_ARGB32_Premultiplied);
    host.render(&image);
}

} // namespace

TEST(ViewHostTest, TheFrameTimerRunsOnlyWhileSomethingAnimates)
{
    test::FakeClock clock;
    ViewHost host(clock);
    host.resize(40, 30);
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());

    // A breathing dot animates for as long as it is on screen.
    host.setRoot(std::make_unique<BrandDot>(host.environment()));
    renderOnce(host);
    EXPECT_TRUE(host.framePump().isActive());

    // A glyph that springs in once animates until its spring settles, then the timer stops.
    host.setRoot(PopInGlyph::check(host.environment()));
    renderOnce(host);
    EXPECT_TRUE(host.framePump().isActive());
    clock.advance(1000);
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());

    // Still views and reduced motion cost no timer at all.
    host.setRoot(std::make_unique<SessionCountBadge>(3));
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());
    host.environment().reduceMotion = [] { return true; };
    host.setRoot(std::make_unique<BrandDot>(host.environment()));
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());
}

TEST(ViewHostTest, WhileAnimatingTheHostDrawsFrameAfterFrameAndStopsWhenItIsDone)
{
    // The pump is a real Qt timer; the animation's values still come from the fake clock.
    test::FakeClock clock;
    ViewHost host(clock);
    host.resize(40, 30);
    auto counted = std::make_unique<CountingView>(PopInGlyph::check(host.environment()));
    const CountingView* probe = counted.get();
    host.setRoot(std::move(counted));
    host.show();
    ASSERT_TRUE(test::waitUntil([&] { return probe->paints >= 4; }, 5000));
    EXPECT_TRUE(host.framePump().isActive());

    clock.advance(1000);
    ASSERT_TRUE(test::waitUntil([&] { return !host.framePump().isActive(); }, 5000));
}
