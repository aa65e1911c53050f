#include "main/voice/focus/FocusModeDetector.h"

#include <utility>

#include "main/common/OffThread.h"
#include "main/voice/focus/TerminalAppCatalog.h"

namespace murmeli::voice {

using platform::FocusedRole;

FocusModeDetector::FocusModeDetector(
    TrustProbe axTrust, TerminalSessionProbe probe, FocusedElementReader focusedElement, AgentFinder findAgent)
    : m_axTrust(std::move(axTrust)), m_probe(std::move(probe)), m_focusedElement(std::move(focusedElement)),
      m_findAgent(std::move(findAgent))
{
}

FocusModeDetector::FocusedElementReader FocusModeDetector::readerOf(platform::FocusedElementProbe& probe)
{
    return [&probe](qint64 pid) { return probe.focusedElement(pid); };
}

FocusModeDetector::AgentFinder FocusModeDetector::discoverOffThread(hooks::ProcessDiscovery discovery)
{
    return [discovery = std::move(discovery)](
               std::optional<qint64> pid) -> QCoro::Task<std::optional<hooks::AgentProcess>> {
        // Discovery runs ps and lsof; the copy it works on must not depend on the caller staying alive.
        std::function<std::optional<hooks::AgentProcess>()> work
            = [discovery, pid] { return discovery.discoverActiveAgent(pid); };
        co_return co_await common::runOffThread(std::move(work));
    };
}

bool FocusModeDetector::isEditable(const platform::FocusedElement& element)
{
    switch (element.role) {
    case FocusedRole::TextField:
    case FocusedRole::TextArea:
    case FocusedRole::ComboBox:
    case FocusedRole::WebArea:
    case FocusedRole::Terminal:
        return true;
    case FocusedRole::Other:
        return element.editable;
    }
    return false;
}

QCoro::Task<VoiceMode> FocusModeDetector::detectMode() const
{
    if (!m_axTrust || !m_axTrust()) {
        co_return ModeB { ModeBReason::AxPermissionDenied };
    }
    // One read of the front window serves every rule below, so they cannot see two different windows.
    const std::optional<platform::WindowInfo> window = m_probe.frontmostWindow();
    if (!window) {
        co_return ModeB { ModeBReason::DetectionFailed };
    }
    const std::optional<QString> appId = appIdOf(*window);
    if (TerminalAppCatalog::isTerminal(appId)) {
        std::optional<hooks::AgentProcess> agent;
        if (m_findAgent) {
            // Copied first: the detector may be gone when discovery answers.
            const AgentFinder findAgent = m_findAgent;
            agent = co_await findAgent(window->pid);
        }
        co_return ModeA { FocusTarget { QString::fromLatin1(terminalRole), appId, std::move(agent), window->id } };
    }
    if (!window->pid) {
        co_return ModeB { ModeBReason::DetectionFailed };
    }
    // Toolkits that expose no accessibility tree (or a desktop without its service) say nothing about their focus;
    // outside the catalogue that counts as a window that takes no text.
    const std::optional<platform::FocusedElement> element
        = m_focusedElement ? m_focusedElement(*window->pid) : std::nullopt;
    if (!element || !isEditable(*element)) {
        co_return ModeB { ModeBReason::NoEditableFocus };
    }
    co_return ModeA { FocusTarget { element->roleName, appId, std::nullopt, window->id } };
}

} // namespace murmeli::voice
