#pragma once

#include <QColor>

// The settings window's layout constants, in pixels (one pixel per point of the design), and the two colour rules
// every widget of the kit shares.
namespace murmeli::ui::SettingsDesign {

inline constexpr int sectionPaddingH = 32;
inline constexpr int sectionPaddingTop = 32;
inline constexpr int sectionPaddingBottom = 48;
/// The content column's widest, and a page subtitle's.
inline constexpr int contentMaxWidth = 540;
/// A row's content before its vertical padding.
inline constexpr int rowMinHeight = 44;
inline constexpr int rowPaddingH = 16;
inline constexpr int rowPaddingV = 10;
/// Between a row's label column and its control.
inline constexpr int rowGap = 14;
inline constexpr int groupCardRadius = 10;
inline constexpr int groupTitleGap = 8;
/// Between the page header and the groups, and between groups.
inline constexpr int pageSpacing = 24;

/// color at the opacity given (0 to 1), over its own.
inline QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return color;
}

} // namespace murmeli::ui::SettingsDesign
