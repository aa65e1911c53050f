#include "main/voice/focus/ModeBReason.h"

namespace murmeli::voice {

QString toString(ModeBReason reason)
{
    switch (reason) {
    case ModeBReason::NoEditableFocus:
        return QStringLiteral("noEditableFocus");
    case ModeBReason::AxPermissionDenied:
        return QStringLiteral("axPermissionDenied");
    case ModeBReason::DetectionFailed:
        return QStringLiteral("detectionFailed");
    case ModeBReason::AxRevokedAtInject:
        return QStringLiteral("axRevokedAtInject");
    }
    return {};
}

} // namespace murmeli::voice
