#pragma once

#include <QImage>

namespace murmeli::snapshot {

/// One picture of the closed strip for review: every display without a notch and around one, the glyphs at 0, 0.3
/// and 1.25 s and with reduced motion, and the full-width marquee moving, standing still and fading at its ends.
QImage contactSheet();

} // namespace murmeli::snapshot
