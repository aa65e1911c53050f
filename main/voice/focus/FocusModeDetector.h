#pragma once

#include <functional>
#include <optional>

#include <QtGlobal>

#include <QCoroTask>

#include "main/hooks/terminals/ProcessDiscovery.h"
#include "main/voice/focus/TerminalSessionProbe.h"
#include "main/voice/focus/VoiceMode.h"
#include "platform/desktop/FocusedElementProbe.h"

namespace murmeli::voice {

/// Decides when a take starts where its text will go: pasted into a catalogued terminal or editor in front, or into
/// any window whose focused element takes text; otherwise left on the clipboard, with the reason. Never fails
/// outward: every missing piece is a Mode B reason. Main thread only.
class FocusModeDetector final {
public:
    /// Whether keys can be sent here now.
    using TrustProbe = std::function<bool()>;
    /// The element with the keyboard focus in the process's windows; absent when it cannot be read.
    using FocusedElementReader = std::function<std::optional<platform::FocusedElement>(qint64 pid)>;
    /// The agent under the front terminal, found without blocking the caller.
    using AgentFinder = std::function<QCoro::Task<std::optional<hooks::AgentProcess>>(std::optional<qint64> pid)>;

    /// The role a catalogued terminal or editor in front is given.
    static constexpr auto terminalRole = "terminal";

    FocusModeDetector(TrustProbe axTrust, TerminalSessionProbe probe, FocusedElementReader focusedElement,
        AgentFinder findAgent = discoverOffThread(hooks::ProcessDiscovery()));

    /// Reads the focused element through the probe; the probe must outlive the reader.
    static FocusedElementReader readerOf(platform::FocusedElementProbe& probe);
    /// Asks discovery for the active agent on a worker thread.
    static AgentFinder discoverOffThread(hooks::ProcessDiscovery discovery);

    /// Whether an element with this role takes a take's text.
    static bool isEditable(const platform::FocusedElement& element);

    /// Where the text of a take starting now goes.
    QCoro::Task<VoiceMode> detectMode() const;

private:
    TrustProbe m_axTrust;
    TerminalSessionProbe m_probe;
    FocusedElementReader m_focusedElement;
    AgentFinder m_findAgent;
};

} // namespace murmeli::voice
