#pragma once

#include <QColor>

// The platform's named colours as they look on the panel's dark ground, where the views name a system colour rather
// than one of the design tokens.
namespace murmeli::notch::SystemColors {

inline constexpr QColor orange { 255, 159, 10 };
inline constexpr QColor green { 48, 209, 88 };
inline constexpr QColor red { 255, 69, 58 };
inline constexpr QColor cyan { 100, 210, 255 };
inline constexpr QColor gray { 142, 142, 147 };
/// Secondary label text: a light grey at 60 %.
inline constexpr QColor secondaryLabel { 235, 235, 245, 153 };

/// The colour at that opacity.
inline QColor withAlpha(QColor colour, qreal alpha)
{
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

/// White at that opacity, the views' usual text and fill.
inline QColor white(qreal alpha)
{
    return withAlpha(QColor(Qt::white), alpha);
}

} // namespace murmeli::notch::SystemColors
