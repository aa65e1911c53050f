#pragma once

#include <QFont>

namespace murmeli::ui::Faces {

// The panel's lengths are logical pixels; Qt sizes a font in typographic points of a 96-dpi logical screen, the
// scale every platform of Qt 6 draws with at any device pixel ratio. Each face below takes its size in pixels.

/// The Qt point size of a font pixels tall.
qreal pointSize(qreal pixels);
QFont fraunces(qreal pixels, QFont::Weight weight = QFont::Normal, bool italic = false);
QFont instrumentSans(qreal pixels, QFont::Weight weight = QFont::Medium);
QFont geistMono(qreal pixels, QFont::Weight weight = QFont::Normal);
/// The platform's interface face.
QFont system(qreal pixels, QFont::Weight weight);
/// The platform's fixed-pitch face.
QFont systemMono(qreal pixels, QFont::Weight weight);

} // namespace murmeli::ui::Faces
