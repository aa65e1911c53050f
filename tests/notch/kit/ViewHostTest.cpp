#include "main/notch/kit/ViewHost.h"

#include <gtest/gtest.h>

#include <QImage>

#include "main/notch/views/BrandDot.h"
#include "main/notch/views/PopInGlyph.h"
#include "main/notch/views/SessionCountBadge.h"
#include "tests/support/FakeClock.h"

using namespace murmeli;
using namespace murmeli::notch;

namespace {

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
