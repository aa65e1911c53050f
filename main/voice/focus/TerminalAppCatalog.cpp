#include "main/voice/focus/TerminalAppCatalog.h"

namespace murmeli::voice {

const hooks::TerminalHost* TerminalAppCatalog::host(const std::optional<QString>& windowClass)
{
    return windowClass ? hooks::terminalHostByWindowClass(*windowClass) : nullptr;
}

} // namespace murmeli::voice
