// The strip's glyphs photographed at 0, 0.3 and 1.25 s after they come on screen, and with reduced motion, and
// judged by a few pixels each: the colours, opacities and sizes their animations should have reached by then.

#include <gtest/gtest.h>

#include <QPainter>

#include "main/ui/design/Tokens.h"
#include "main/notch/kit/TextView.h"
#include "main/notch/views/PttWave.h"
#include "main/notch/views/StripEars.h"
#include "main/notch/views/WarnGlyph.h"
#include "tests/notch/Probes.h"
#include "tests/notch/StripScene.h"

using namespace murmeli;
using namespace murmeli::notch;
using namespace murmeli::test;

namespace {

constexpr qreal scale = 4;

/// A strip showing display, photographed atMs after it came on screen.
struct Shot {
    StripScene scene;
    QImage image;
    QRectF left;
    QRectF right;

    Shot(NotchDisplay display, qint64 atMs, bool reduceMotion = false) : scene({ 200, 32, 0, reduceMotion })
    {
        TopStripInputs inputs;
        inputs.display = std::move(display);
        scene.show(std::move(inputs));
        scene.render(scale);
        scene.advance(atMs);
        image = scene.render(scale);
        left = scene.strip().leftEarFrame();
        right = scene.strip().rightContentFrame();
    }
};

/// The fraction of tone's strength at a pixel over black.
double strength(const QImage& image, QPointF point, const QColor& tone)
{
    return colourAt(image, point).red() / static_cast<double>(tone.red());
}

/// Height in points of the brass run through the middle of wave bar index.
double barHeight(const Shot& shot, int index)
{
    const qreal x = shot.right.left() + index * (PttWave::barWidth + PttWave::barSpacing) + PttWave::barWidth / 2;
    int run = 0;
    const int midY = static_cast<int>(shot.right.center().y() * scale);
    for (int y = static_cast<int>(shot.right.top() * scale); y < static_cast<int>(shot.right.bottom() * scale); ++y) {
        const QColor c = shot.image.pixelColor(static_cast<int>(x * scale), y);
        run += (c.red() > 60 && std::abs(y - midY) < 40) ? 1 : 0;
    }
    return run / scale;
}

} // namespace

TEST(GlyphRenderTest, TheBrandDotBreathesAndRipplesAndStandsStillWithReducedMotion)
{
    const QColor brass = ui::Color::vantorBrass;
    const Shot start(NotchDisplay::brand(), 0);
    const Shot early(NotchDisplay::brand(), 300);
    const Shot peak(NotchDisplay::brand(), 1250);
    const Shot still(NotchDisplay::brand(), 1250, true);
    const QPointF centre = start.left.center();

    EXPECT_NEAR(strength(start.image, centre, brass), 0.45, 0.03);
    const double rising = strength(early.image, centre, brass);
    EXPECT_GT(rising, 0.47);
    EXPECT_LT(rising, 0.9);
    EXPECT_NEAR(strength(peak.image, centre, brass), 0.95, 0.03);
    EXPECT_NEAR(strength(still.image, centre, brass), 0.8, 0.03);

    // Half-way through its 2.5 s ripple the ring is 0.925 of 16 across at opacity 0.2; at 0 and when still, no ring.
    const auto ring
        = [&](const Shot& shot) { return brightest(shot.image, QRectF(centre.x() + 7.0, centre.y() - 0.5, 0.8, 1.0)); };
    EXPECT_EQ(ring(start), 0);
    EXPECT_GT(ring(peak), 15);
    EXPECT_EQ(ring(still), 0);
}

TEST(GlyphRenderTest, TheWorkingDotPulsesAtTheBluePeriodAndHoldsAt90PercentWithReducedMotion)
{
    const QColor blue = ui::Color::vantorSignalBlue;
    const auto at = [&](qint64 ms, bool reduce) {
        const Shot shot(NotchDisplay::activity(QStringLiteral("Read a.c")), ms, reduce);
        EXPECT_GT(pixelsOf(shot.image, shot.left, blue), 8);
        return colourAt(shot.image, shot.left.center()).blue() / static_cast<double>(blue.blue());
    };
    EXPECT_NEAR(at(0, false), 0.55, 0.03);
    // 0.3 s is 60 % of the first half-second swell; 1.25 s is half-way through the third.
    const double swelling = at(300, false);
    EXPECT_GT(swelling, 0.7);
    EXPECT_LT(swelling, 0.98);
    EXPECT_NEAR(at(1250, false), 0.775, 0.03);
    EXPECT_NEAR(at(0, true), 0.9, 0.03);
    EXPECT_NEAR(at(1250, true), 0.9, 0.03);
}

TEST(GlyphRenderTest, TheRecordingBarsSwingOutOfPhaseAndStandAt8Point4WithReducedMotion)
{
    const Shot start(NotchDisplay::pttRecording(), 0);
    const Shot swung(NotchDisplay::pttRecording(), 300);
    const Shot later(NotchDisplay::pttRecording(), 1250);
    const Shot still(NotchDisplay::pttRecording(), 300, true);
    for (int bar = 0; bar < PttWave::barCount; ++bar) {
        EXPECT_NEAR(barHeight(start, bar), 2.8, 0.6) << bar;
        EXPECT_NEAR(barHeight(still, bar), 8.4, 0.6) << bar;
    }
    // At 0.3 s the first bar is at its 13.3 peak while the fourth, 0.14 s late, is on its way up.
    EXPECT_NEAR(barHeight(swung, 0), 13.3, 0.6);
    EXPECT_LT(barHeight(swung, 3), barHeight(swung, 0) - 3);
    EXPECT_GT(barHeight(swung, 3), 3.5);
    // At 1.25 s the first bar has just turned from its fourth trough.
    EXPECT_LT(barHeight(later, 0), 4.5);
}

TEST(GlyphRenderTest, TheCheckSpringsInWithOrWithoutReducedMotion)
{
    const QColor green = ui::Color::vantorSignalGreen;
    for (bool reduce : { false, true }) {
        const Shot start(NotchDisplay::notification(NotchNotifKind::Completion), 0, reduce);
        const Shot popping(NotchDisplay::notification(NotchNotifKind::Completion), 300, reduce);
        const Shot settled(NotchDisplay::notification(NotchNotifKind::Completion), 1250, reduce);
        const QRectF glyph(start.left.left(), start.left.center().y() - 6.5, 13, 13);
        EXPECT_EQ(pixelsOf(start.image, glyph, green), 0) << reduce;
        EXPECT_GT(pixelsOf(popping.image, glyph, green), 200) << reduce;
        // Settled at full size: the disc reaches the edge of its 13-point box.
        EXPECT_TRUE(showsTone(colourAt(settled.image, QPointF(glyph.left() + 0.8, glyph.center().y())), green));
        EXPECT_NEAR(colourAt(settled.image, QPointF(glyph.left() + 3, glyph.top() + 4)).green(), green.green(), 8);
    }
}

TEST(GlyphRenderTest, TheGreetingSlidesInFromTheRightAndStandsAtOnceWithReducedMotion)
{
    const QColor brass = ui::Color::vantorBrass;
    const Shot start(NotchDisplay::start(), 0);
    const Shot sliding(NotchDisplay::start(), 300);
    const Shot arrived(NotchDisplay::start(), 1250);
    const Shot still(NotchDisplay::start(), 0, true);
    EXPECT_GT(pixelsOf(start.image, start.left, brass), 40) << "the left half has no animation";
    EXPECT_EQ(pixelsOf(start.image, start.right, brass), 0);
    const int half = pixelsOf(sliding.image, sliding.right, brass);
    const int full = pixelsOf(arrived.image, arrived.right, brass);
    EXPECT_GT(full, 40);
    EXPECT_LT(half, full);
    EXPECT_EQ(pixelsOf(still.image, still.right, brass), full);
}

TEST(GlyphRenderTest, TheWarningPulsesOrHoldsAt95PercentAndTheIdleCountShowsFromOne)
{
    test::FakeClock clock;
    const auto warning = [&](bool reduce, qint64 atMs) {
        ViewEnvironment environment { &clock, [reduce] { return reduce; }, {} };
        WarnGlyph glyph(environment);
        QImage image(13 * scale, 13 * scale, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(Qt::black);
        QPainter painter(&image);
        glyph.paint(painter, QRectF(0, 0, 13, 13), clock.monotonicMs() + atMs);
        return colourAt(image, QPointF(6.5, 11)).red() / static_cast<double>(ui::Color::vantorSignalAmber.red());
    };
    EXPECT_NEAR(warning(false, 0), 0.55, 0.03);
    EXPECT_NEAR(warning(false, 450), 1.0, 0.03);
    EXPECT_NEAR(warning(true, 450), 0.95, 0.03);

    EXPECT_TRUE(StripEars::idleSessionCount(0)->idealSize().isEmpty());
    EXPECT_TRUE(StripEars::idleSessionCount(-2)->idealSize().isEmpty());
    auto one = StripEars::idleSessionCount(1);
    EXPECT_EQ(static_cast<TextView&>(*one).text(), QStringLiteral("\u00B71\u00B7"));
}
