#pragma once

#include <array>
#include <optional>

#include <QString>

namespace murmeli::voice {

/// Which device both records and speaks: the computer's own microphone and speaker, or the push-to-talk device.
/// The Lab page offers it as a picker and stores the choice as the speech engine's microphone source.
enum class AudioProfile { Mac, Ble };

/// Every profile, in the picker's order.
inline constexpr std::array allAudioProfiles { AudioProfile::Mac, AudioProfile::Ble };

/// "mac" or "ble".
QString toString(AudioProfile profile);

/// The profile of a raw value; nullopt for anything else.
std::optional<AudioProfile> audioProfileFromString(const QString& rawValue);

/// The picker's label.
QString displayName(AudioProfile profile);

/// The microphone source the choice stores: "local" for the computer, "ble" for the device.
QString micSourceFor(AudioProfile profile);

} // namespace murmeli::voice
