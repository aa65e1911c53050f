#include "main/voice/preferences/AppSettings.h"

namespace murmeli::voice {

QJsonObject AppSettings::toJson() const
{
    QJsonObject enhanceObject;
    if (enhance.promptTemplate) {
        enhanceObject.insert(QLatin1String(EnhanceSettings::promptTemplateKey), *enhance.promptTemplate);
    }
    return QJsonObject {
        { QLatin1String(versionKey), version },
        { QLatin1String(enhanceKey), enhanceObject },
    };
}

} // namespace murmeli::voice
