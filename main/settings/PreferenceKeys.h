#pragma once

#include <vector>

#include <QString>
#include <QStringList>

namespace murmeli::settings {

/// One preference of the system: its key, what it holds, what a missing key reads as, which subsystem owns its
/// meaning, and whether "Reset all settings" removes it. The key itself stays a constant of the type that uses it;
/// this is the one place that lists them all.
struct PreferenceKey final {
    const char* key;
    /// "Bool", "Int", "String", "JSON object", "JSON text" (a string holding a JSON array) or "array of String".
    const char* type;
    /// What a missing key reads as, in words.
    const char* whenMissing;
    const char* owner;
    const char* meaning;
    bool resetRemoves;
};

/// Every preference key of the system, and the rule of "Reset all settings".
namespace PreferenceKeys {

/// Every key whose name begins with this belongs to the resettable set.
inline constexpr auto resettablePrefix = "settings.";

/// Every key the system reads or writes, grouped by area.
const std::vector<PreferenceKey>& all();

/// Whether a reset removes the key: every key with the prefix, known or not, and the pinned screen, which would
/// otherwise keep the panel on a screen the user reset away from.
bool resetRemoves(const QString& key);

/// The keys among storedKeys that a reset removes, in their order.
QStringList keysToReset(const QStringList& storedKeys);

} // namespace PreferenceKeys

} // namespace murmeli::settings
