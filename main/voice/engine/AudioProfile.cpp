#include "main/voice/engine/AudioProfile.h"

#include "main/voice/engine/SpeechBackends.h"

namespace murmeli::voice {

QString toString(AudioProfile profile)
{
    switch (profile) {
    case AudioProfile::Mac:
        return QStringLiteral("mac");
    case AudioProfile::Ble:
        return QStringLiteral("ble");
    }
    return {};
}

std::optional<AudioProfile> audioProfileFromString(const QString& rawValue)
{
    for (const AudioProfile profile : allAudioProfiles) {
        if (toString(profile) == rawValue) {
            return profile;
        }
    }
    return std::nullopt;
}

QString displayName(AudioProfile profile)
{
    switch (profile) {
    case AudioProfile::Mac:
        return QStringLiteral("Mic & Speaker: Mac");
    case AudioProfile::Ble:
        return QStringLiteral("Mic & Speaker: BLE (ESP32)");
    }
    return {};
}

QString micSourceFor(AudioProfile profile)
{
    return QLatin1String(profile == AudioProfile::Ble ? SpeechBackends::bleMicSource : SpeechBackends::localMicSource);
}

} // namespace murmeli::voice
