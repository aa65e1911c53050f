#pragma once

#include <optional>

#include <QString>

#include "main/hooks/terminals/TerminalHosts.h"

namespace murmeli::voice {

/// The terminals and editors whose windows take a take's text without asking for their focused element: the Linux
/// hosts process discovery knows, recognised here by the class half of their windows' WM_CLASS.
class TerminalAppCatalog final {
public:
    /// The catalogued host of a window class (exact, case-sensitive); nullptr when absent, empty or unknown.
    static const hooks::TerminalHost* host(const std::optional<QString>& windowClass);

    /// Whether the window class belongs to a catalogued terminal or editor; false when absent.
    static bool isTerminal(const std::optional<QString>& windowClass) { return host(windowClass) != nullptr; }
};

} // namespace murmeli::voice
