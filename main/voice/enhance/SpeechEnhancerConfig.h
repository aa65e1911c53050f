#pragma once

#include <QSet>
#include <QString>

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {

/// The polish's constants and the user's switch for it.
class SpeechEnhancerConfig final {
public:
    /// User-defaults key of the polish switch.
    static constexpr const char* aiOptimizationKey = "settings.voice.aiOptimization";
    /// Shortest take, in ms, that is polished.
    static constexpr int durationGateMs = 3000;
    /// Time limit of one exchange with the worker, in ms.
    static constexpr int clientTimeoutMs = 5000;

    /// The locale tags the worker polishes; compared exactly.
    static const QSet<QString>& supportedLocales();

    /// The stored switch when it is a JSON boolean; anything else means on, until the user turns it off.
    static bool isAIOptimizationEnabled(const platform::Defaults& defaults);
};

} // namespace murmeli::voice
