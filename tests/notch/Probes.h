#pragma once

#include <algorithm>

#include <QColor>
#include <QImage>
#include <QRectF>

namespace murmeli::test {

/// Whether a pixel drawn over black shows tone: over black, antialiasing and opacity only scale a colour, so a
/// pixel bright enough to judge shows the tone's channel ratios.
inline bool showsTone(const QColor& pixel, const QColor& tone, double tolerance = 0.04)
{
    const int top = std::max({ pixel.red(), pixel.green(), pixel.blue() });
    if (top < 70) {
        return false;
    }
    const int toneTop = std::max({ tone.red(), tone.green(), tone.blue() });
    const auto ratio = [](int channel, int of) { return static_cast<double>(channel) / of; };
    return std::abs(ratio(pixel.red(), top) - ratio(tone.red(), toneTop)) <= tolerance
        && std::abs(ratio(pixel.green(), top) - ratio(tone.green(), toneTop)) <= tolerance
        && std::abs(ratio(pixel.blue(), top) - ratio(tone.blue(), toneTop)) <= tolerance;
}

/// How many pixels of region (in points; the image's device pixel ratio maps it) show tone.
inline int pixelsOf(const QImage& image, const QRectF& region, const QColor& tone)
{
    const qreal scale = image.devicePixelRatio();
    const QRect pixels = QRectF(region.topLeft() * scale, region.size() * scale).toAlignedRect() & image.rect();
    int count = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            count += showsTone(image.pixelColor(x, y), tone) ? 1 : 0;
        }
    }
    return count;
}

/// The brightest channel of any pixel in region (in points): how strongly anything is drawn there.
inline int brightest(const QImage& image, const QRectF& region)
{
    const qreal scale = image.devicePixelRatio();
    const QRect pixels = QRectF(region.topLeft() * scale, region.size() * scale).toAlignedRect() & image.rect();
    int best = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            best = std::max({ best, c.red(), c.green(), c.blue() });
        }
    }
    return best;
}

/// The colour at a point (in points).
inline QColor colourAt(const QImage& image, QPointF point)
{
    const QPointF pixel = point * image.devicePixelRatio();
    return image.pixelColor(static_cast<int>(pixel.x()), static_cast<int>(pixel.y()));
}

} // namespace murmeli::test
