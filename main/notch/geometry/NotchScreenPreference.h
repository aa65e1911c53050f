#pragma once

#include <optional>

#include <QtGlobal>

namespace murmeli::platform {
class Defaults;
class ScreenProvider;
struct ScreenInfo;
} // namespace murmeli::platform

// The pinned screen: the only channel from the display settings to the panel's screen choice.
namespace murmeli::notch::NotchScreenPreference {

/// A whole number in the user defaults: the display number of the pinned screen; absent means nothing is pinned.
inline constexpr auto udKey = "notch.fixedScreenID";

/// The pinned display number, when the user defaults hold a whole number under udKey.
std::optional<qint64> pinnedScreenID(const platform::Defaults& defaults);
/// A screen with a top inset, or a non-empty area left or right of a notch.
bool isBuiltIn(const platform::ScreenInfo& screen);
/// The display number of the first built-in screen; absent when none is (or it has no number).
std::optional<qint64> builtInScreenID(const platform::ScreenProvider& screens);
/// The display number of the first screen that is not built-in; absent when every screen is (or it has no number).
std::optional<qint64> firstExternalScreenID(const platform::ScreenProvider& screens);

} // namespace murmeli::notch::NotchScreenPreference
