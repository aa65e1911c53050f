#pragma once

#include <optional>

#include <QList>
#include <QString>

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::notch {

/// Which screen the user wants the panel on, as the display settings offer it.
enum class DisplayPreference { Auto, BuiltIn, ExScreen };

/// A string in the user defaults holding the preference's raw value.
inline constexpr auto displayPreferenceUdKey = "settings.display.preference";

/// Every case, in the order the settings list them.
QList<DisplayPreference> allDisplayPreferences();
/// The raw value: "auto", "built-in" or "ex-screen".
QString toString(DisplayPreference preference);
/// The case whose raw value is exactly text; absent for anything else.
std::optional<DisplayPreference> displayPreferenceFromString(const QString& text);
/// "Auto", "Built-in display" or "External display".
QString label(DisplayPreference preference);
/// The stored preference; a missing or unknown value reads as Auto.
DisplayPreference displayPreferenceFromUserDefaults(const platform::Defaults& defaults);

} // namespace murmeli::notch
