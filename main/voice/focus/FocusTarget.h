#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

#include "main/hooks/terminals/ProcessDiscovery.h"

namespace murmeli::voice {

/// Where a take's text is pasted: the window in front when the take started and what had its focus.
struct FocusTarget final {
    /// The focused element's role, or "terminal" for a catalogued terminal or editor in front.
    QString role;
    /// The class half of the front window's WM_CLASS; picks the paste keystroke.
    std::optional<QString> appId;
    /// The agent discovery found while a catalogued terminal was in front; compared, never read.
    std::optional<hooks::AgentProcess> agentProcess;
    /// The front window itself, activated again before the paste.
    std::optional<quint64> windowId;

    friend bool operator==(const FocusTarget&, const FocusTarget&) = default;
};

} // namespace murmeli::voice
