#pragma once

#include <optional>

#include <QList>

// The fixed sizes of the token-based sizing family, in points: the closed strip, the opened session list and the
// opened recording view.
namespace murmeli::notch::NotchGeometryV3 {

inline constexpr double physicalNotchWidth = 200;
inline constexpr double physicalNotchHeight = 32;
inline constexpr double closedWidth = 200;
inline constexpr double closedHeight = 36;
inline constexpr double openedListWidth = 480;
inline constexpr double openedListMaxHeight = 560;
inline constexpr double openedRecordingWidth = 640;
inline constexpr double openedRecordingHeight = 120;

/// A size the panel may take; the opened list has no fixed height.
struct AllowedSize final {
    double width = 0;
    std::optional<double> height;

    friend bool operator==(const AllowedSize&, const AllowedSize&) = default;
};

/// Closed, opened list, opened recording.
QList<AllowedSize> allowedSizes();
/// The rows' heights added up, held to openedListMaxHeight; 0 without rows.
double openedListHeight(const QList<double>& rowHeights);

} // namespace murmeli::notch::NotchGeometryV3
