#include "main/notch/layout/NotchNotifKind.h"

namespace murmeli::notch {

QString toString(NotchNotifKind kind)
{
    switch (kind) {
    case NotchNotifKind::Completion:
        return QStringLiteral("completion");
    case NotchNotifKind::Approval:
        return QStringLiteral("approval");
    case NotchNotifKind::Error:
        return QStringLiteral("error");
    case NotchNotifKind::Summary:
        return QStringLiteral("summary");
    }
    return {};
}

} // namespace murmeli::notch
