#include "main/hooks/terminals/TeleportTypes.h"

namespace murmeli::hooks {

QString toString(TeleportResult result)
{
    switch (result) {
    case TeleportResult::Success:
        return QStringLiteral("success");
    case TeleportResult::Timeout:
        return QStringLiteral("timeout");
    case TeleportResult::PermissionDenied:
        return QStringLiteral("permissionDenied");
    case TeleportResult::TerminalClosed:
        return QStringLiteral("terminalClosed");
    case TeleportResult::Unsupported:
        return QStringLiteral("unsupported");
    case TeleportResult::Undecided:
        return QStringLiteral("undecided");
    }
    return {};
}

} // namespace murmeli::hooks
