#pragma once

// The lengths every view of the notch panel shares, in points, and the panel's width and height formulas.
namespace murmeli::notch::NotchLayout {

/// Each side ear beside a real notch in the closed strip.
inline constexpr double closedEarPaddingX = 90;
/// Each ear while the welcome strip shows.
inline constexpr double startEarPaddingX = 120;
/// Extra width on each side of the expanded panel.
inline constexpr double expandedPaddingX = 110;
/// One session row, for height estimates.
inline constexpr double sessionRowHeight = 36;
inline constexpr double sessionListPadding = 24;
/// Rows shown before the session list scrolls.
inline constexpr int sessionListMaxRowsNoScroll = 10;
inline constexpr double maxScrollViewHeight = 1000;
/// Keeps strip content clear of the notch's edges.
inline constexpr double earSafePadding = 14;
inline constexpr double leftIconOpenFrame = 20;
/// The widest marquee label in an ear.
inline constexpr double marqueeMaxWidth = 180;
/// The fade at each end of a scrolling marquee.
inline constexpr double marqueeMaskFade = 14;
inline constexpr double marqueeFullWidthInset = 4;
/// Passes of a marquee before it counts as finished.
inline constexpr int marqueeLoops = 3;
inline constexpr double closedHeight = 36;
inline constexpr double asrTapeMaxWidth = 560;
/// The least height of the live transcript tape's region under the strip.
inline constexpr double asrTapeHeight = 48;
inline constexpr double shapeClosedTopR = 6;
inline constexpr double shapeClosedBotR = 20;
inline constexpr double shapeOpenedTopR = 22;
inline constexpr double shapeOpenedBotR = 36;

/// With a real notch, the notch and an ear each side (wider while the welcome strip shows); without one, the
/// strip alone, which carries no ears.
double closedWidth(double notchWidth, bool isRealNotch, bool isStart);
/// The closed width without the welcome ears, plus expandedPaddingX each side.
double expandedWidth(double notchWidth, bool isRealNotch);
/// One to ten rows of sessionRowHeight and a 50-point margin: the least the expanded content is taken to need.
double fallbackExpandedHeight(int sessionCount);
/// The panel window is this plus the notch height tall at all times, so expanding never resizes it.
double preAllocatedExpandedHeight();

} // namespace murmeli::notch::NotchLayout
