#pragma once

#include <cstdlib>
#include <functional>

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>

#include "tests/support/Wait.h"

namespace murmeli::test {

/// Pixels of the image within tolerance (summed over the channels) of the colour; glyph edges blend into the
/// background, so text is counted near its colour.
inline int pixelsNear(const QImage& image, const QColor& colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green())
                    + std::abs(pixel.blue() - colour.blue())
                < tolerance) {
                ++count;
            }
        }
    }
    return count;
}

/// Grabs with grab until the picture differs from shot and has stopped changing (the X server has drawn what was
/// asked), leaving the last picture in shot; false when that did not happen within the bound.
inline bool settleShot(const std::function<QImage()>& grab, QImage& shot)
{
    const QImage before = shot;
    QImage last;
    return waitUntil([&] {
        last = shot;
        shot = grab();
        return shot != before && shot == last;
    });
}

/// Where pictures go: MURMELI_SCREENSHOT_DIR when set (scripts/screenshots), else the build folder's screenshots/.
inline QString screenshotFolder()
{
    const QString folder = qEnvironmentVariableIsEmpty("MURMELI_SCREENSHOT_DIR")
        ? QStringLiteral(MURMELI_BUILD_DIR "/screenshots")
        : qEnvironmentVariable("MURMELI_SCREENSHOT_DIR");
    QDir().mkpath(folder);
    return folder;
}

} // namespace murmeli::test
