#include "main/voice/enhance/SpeechEnhancerConfig.h"

#include "platform/defaults/Defaults.h"

namespace murmeli::voice {

const QSet<QString>& SpeechEnhancerConfig::supportedLocales()
{
    static const QSet<QString> locales { QStringLiteral("zh-CN"), QStringLiteral("en-US") };
    return locales;
}

bool SpeechEnhancerConfig::isAIOptimizationEnabled(const platform::Defaults& defaults)
{
    return defaults.boolValue(QString::fromLatin1(aiOptimizationKey)).value_or(true);
}

} // namespace murmeli::voice
