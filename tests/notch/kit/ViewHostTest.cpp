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

    // A breathing dot asks for its own small square again at the breath's pace, not for the frame timer.
    host.setRoot(std::make_unique<BrandDot>(host.environment()));
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());
    const QRect dot = host.pendingArea().boundingRect();
    EXPECT_TRUE(dot.contains(QPoint(20, 15)));
    EXPECT_LE(dot.width() * dot.height(), 30 * 30);
    EXPECT_FALSE(host.canBeSeen()) << "never shown, and offscreen: no frame is due";

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
    EXPECT_TRUE(host.pendingArea().isEmpty()) << "a dot that left the screen asks for nothing";
    host.environment().reduceMotion = [] { return true; };
    host.setRoot(std::make_unique<BrandDot>(host.environment()));
    renderOnce(host);
    EXPECT_FALSE(host.framePump().isActive());
    EXPECT_TRUE(host.pendingArea().isEmpty());
}
