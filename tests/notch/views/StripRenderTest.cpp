// The closed strip photographed offscreen in each display and judged by its pixels: which colour each ear shows,
// that nothing shows where nothing should, and how the full-width marquee moves, clips and fades.

#include <gtest/gtest.h>

#include "main/ui/design/Tokens.h"
#include "tests/notch/Probes.h"
#include "tests/notch/StripScene.h"

using namespace murmeli;
using namespace murmeli::notch;
using namespace murmeli::test;

namespace {

constexpr qreal scale = 2;

// Room for the glows the dots cast beyond their frames.
QRectF grown(const QRectF& rect)
{
    return rect.adjusted(-3, -3, 3, 3);
}

/// Pixels drawn anywhere in the strip outside the two ears.
int strayPixels(const QImage& image, const StripScene& scene, const QRectF& left, const QRectF& right)
{
    int stray = 0;
    const qreal s = image.devicePixelRatio();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPointF point(x / s, y / s);
            if (grown(left).contains(point) || grown(right).contains(point)) {
                continue;
            }
            const QColor c = image.pixelColor(x, y);
            stray += std::max({ c.red(), c.green(), c.blue() }) > 40 ? 1 : 0;
        }
    }
    return stray;
}

} // namespace

TEST(StripRenderTest, EachDisplayDrawsItsOwnEarsAndNothingElse)
{
    const QColor brass = ui::Color::vantorBrass;
    const QColor text = ui::Color::vantorText;
    const struct {
        const char* name;
        NotchDisplay display;
        bool expanded;
        QColor left;
        QColor right;
    } rows[] = {
        { "brand", NotchDisplay::brand(), false, brass, brass },
        { "activity", NotchDisplay::activity(QStringLiteral("Bash \u00B7 npm test")), false,
            ui::Color::vantorSignalBlue, text },
        { "completion", NotchDisplay::notification(NotchNotifKind::Completion), false, ui::Color::vantorSignalGreen,
            brass },
        { "error", NotchDisplay::notification(NotchNotifKind::Error), false, ui::Color::vantorSignalRed, brass },
        { "start", NotchDisplay::start(), false, brass, brass },
        { "pttRecording", NotchDisplay::pttRecording(), false, brass, brass },
        { "expanded", NotchDisplay::brand(), true, brass, brass },
    };
    for (bool notched : { false, true }) {
        for (const auto& row : rows) {
            StripScene scene(notched ? StripScene::Options { 380, 32, 200 } : StripScene::Options { 200, 32, 0 });
            TopStripInputs inputs;
            inputs.display = row.display;
            inputs.isExpanded = row.expanded;
            inputs.sessionCount = 3;
            scene.show(inputs);
            scene.render(scale);
            scene.advance(1250);
            const QImage image = scene.render(scale);
            image.save(QStringLiteral("%1/notch-strip-%2-%3.png")
                           .arg(QStringLiteral(MURMELI_BUILD_DIR), QString::fromLatin1(row.name),
                               notched ? QStringLiteral("notched") : QStringLiteral("compact")));
            const QRectF left = scene.strip().leftEarFrame();
            const QRectF right = scene.strip().rightContentFrame();
            SCOPED_TRACE(std::string(row.name) + (notched ? " notched" : " compact"));
            EXPECT_GT(pixelsOf(image, left, row.left), 6);
            EXPECT_GT(pixelsOf(image, right, row.right), 6);
            EXPECT_EQ(strayPixels(image, scene, left, right), 0);
            if (notched) {
                EXPECT_EQ(brightest(image, QRectF(95, 0, 190, 32)), 0) << "nothing over the notch";
            }
        }
    }
}

TEST(StripRenderTest, TheFullWidthMarqueeCrossesTheNotchClipsToItsBandAndFadesAtBothEnds)
{
    const QColor amber = ui::Color::vantorSignalAmber;
    StripScene scene({ 380, 32, 200 });
    TopStripInputs inputs;
    inputs.display = NotchDisplay::notification(NotchNotifKind::Approval);
    inputs.attentionPrefix = QStringLiteral("murmeli-api");
    inputs.approvalText = QStringLiteral("Bash: npm run build && npm test -- --coverage --runInBand --verbose");
    scene.show(inputs);
    const QImage first = scene.render(scale);
    scene.advance(1000);
    const QImage second = scene.render(scale);
    first.save(QStringLiteral(MURMELI_BUILD_DIR "/notch-strip-approval-marquee-0s.png"));
    second.save(QStringLiteral(MURMELI_BUILD_DIR "/notch-strip-approval-marquee-1s.png"));

    // The band is 376 wide, centred: 2 to 378. It runs over the notch and is clipped at its ends.
    EXPECT_GT(pixelsOf(first, QRectF(95, 0, 190, 32), amber), 100);
    EXPECT_EQ(brightest(first, QRectF(0, 0, 1.5, 32)), 0);
    EXPECT_EQ(brightest(first, QRectF(378.5, 0, 1.5, 32)), 0);
    // The ends fade out over 14 points: faint in the outer 2, full strength well inside.
    EXPECT_LT(brightest(second, QRectF(2, 0, 2, 32)), 227 * 0.3);
    EXPECT_LT(brightest(second, QRectF(376, 0, 2, 32)), 227 * 0.3);
    EXPECT_GT(brightest(second, QRectF(40, 0, 300, 32)), 200);

    // One second at 50 points a second moves the band 50 points left.
    const auto column = [&](const QImage& image, qreal x) { return pixelsOf(image, QRectF(x, 0, 0.5, 32), amber); };
    int matched = 0;
    int compared = 0;
    for (qreal x = 60; x < 300; x += 10) {
        const int before = column(first, x + 50);
        if (before == 0 && column(second, x) == 0) {
            continue;
        }
        ++compared;
        // Text lands on a fraction of a pixel differently after the shift; a pixel or two may differ.
        matched += std::abs(before - column(second, x)) <= 2 ? 1 : 0;
    }
    EXPECT_GT(compared, 10);
    EXPECT_EQ(matched, compared);
}

TEST(StripRenderTest, WithReducedMotionTheSummaryStandsCentredInItsOwnWidth)
{
    StripScene scene({ 380, 32, 200, true });
    TopStripInputs inputs;
    inputs.display = NotchDisplay::notification(NotchNotifKind::Summary);
    inputs.summaryText = QStringLiteral("All 12 tests pass");
    scene.show(inputs);
    scene.render(scale);
    scene.advance(3000);
    const QImage image = scene.render(scale);
    const QColor brass = ui::Color::vantorBrass;
    EXPECT_GT(pixelsOf(image, QRectF(150, 0, 80, 32), brass), 50);
    EXPECT_EQ(brightest(image, QRectF(2, 0, 60, 32)), 0);
    EXPECT_EQ(brightest(image, QRectF(318, 0, 60, 32)), 0);
    EXPECT_FALSE(scene.host().framePump().isActive()) << "a still marquee needs no frames";
}
