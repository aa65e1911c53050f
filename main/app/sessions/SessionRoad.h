#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/common/OneShot.h"
#include "main/hooks/events/HookEventDispatcher.h"
#include "main/hooks/sessions/FileWatcher.h"
#include "main/hooks/sessions/SessionFileWriter.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/status/BurnRateTracker.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/transcript/TranscriptWatcher.h"
#include "main/notch/model/NotchApprovalAction.h"
#include "main/notch/model/PanelSessionSync.h"
#include "main/voice/context/STTContext.h"

namespace murmeli::device {
class Announcements;
}

namespace murmeli::hooks {
class ApprovalRoad;
class HeldRequest;
class PendingRequestTable;
class TerminalJump;
} // namespace murmeli::hooks

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::voice {
class SpeechEngine;
}

namespace murmeli::app {

/// The sessions' road: hook events in (settling the request they overtake, speaking what they have to say), their
/// files written once a burst has been taken in, the registry and the selected session's transcript synced to the
/// panel, the panel's session actions (select, step, approve), the selected session's notification cleared, and the
/// recognition context of the next take. Main thread only.
class SessionRoad final {
public:
    /// What the road works with; everything must outlive it.
    struct Links final {
        const hooks::StatusDirectory& statusDirectory;
        notch::PanelViewModel& vm;
        hooks::PendingRequestTable& pendingTable;
        hooks::ApprovalRoad& approvalRoad;
        hooks::TerminalJump& terminalJump;
        device::Announcements& announcements;
        /// Read for the user's hotwords.
        const voice::SpeechEngine& speech;
        /// Read for the effective locale.
        const platform::Defaults& defaults;
        common::Clock& clock;
        /// The status file of the single-session layout.
        QString legacyStatusPath;
    };

    explicit SessionRoad(Links links);
    ~SessionRoad();
    SessionRoad(const SessionRoad&) = delete;
    SessionRoad& operator=(const SessionRoad&) = delete;

    common::LogSink onLog;
    /// Something about the sessions changed (a file in the status directory, a hook event, a panel action).
    std::function<void()> onStatusChange;
    /// After each sync: the selected session's status, if it has one, and its transcript, when the watcher follows it.
    std::function<void(const std::optional<hooks::ClaudeStatus>& status, const hooks::TranscriptData& transcript)>
        onSynced;
    /// Each hook event the road took in (its session key was not refused).
    std::function<void(const QString& eventName, const QJsonObject& payload)> onAcceptedEvent;

    /// Start-up: the registry's, the event dispatcher's and the files' lines reach the log, the status directory is
    /// watched when it is usable, and the panel's session actions act.
    void start(bool watchStatusDirectory);

    /// The most events that wait, of all sessions together, for a look at the processes; beyond it an event is dropped
    /// (the agent has had its reply) and a request is answered at once, so that the agent asks in its own prompt.
    static constexpr std::size_t maxWaitingEvents = 256;

    /// Every hook event the server accepts, on the main thread.
    void handleHookEvent(const QString& eventName, const QJsonObject& payload);
    /// The hook server's reply handler: the approval road's, once the events of its session handed in before are
    /// taken in.
    QCoro::Task<std::optional<QString>> reply(
        QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held);
    /// Empties the selected session's notification file ("notify.json" when none is selected).
    void clearNotify();
    /// The periodic and on-change sync: ends the sessions whose agent process is gone, refreshes the registry,
    /// follows the selected session's transcript, feeds the burn-rate estimate and brings the panel's view model up
    /// to date. Returns the selected session's status, if it has one.
    std::optional<hooks::ClaudeStatus> syncSessions();
    /// The recognition context for the next take: the selected session's tool, files, cost and terms, the user's
    /// hotwords and the effective locale.
    voice::STTContext currentSTTContext();
    /// Tells onStatusChange.
    void statusChanged();
    /// Teardown: a burst's flush and a panel click still queued are dropped.
    void dropQueued();

    hooks::SessionRegistry& registry() { return m_registry; }
    hooks::SessionAgentFinder& agentFinder() { return m_dispatcher.agentFinder; }
    const notch::PanelSessionSync& panelSync() const { return m_panelSync; }

private:
    /// A session's events held up by a look at the processes, taken in the order they came.
    struct Waiting {
        std::deque<std::pair<QString, QJsonObject>> events;
        quint64 handedIn = 0; // events of the session queued so far
        quint64 taken = 0;
        // Requests of the session, each with the count of its events that must be taken before it goes on.
        std::vector<std::pair<quint64, common::OneShot<bool>>> replies;
    };

    void takeHookEvent(const QString& eventName, const QJsonObject& payload);
    /// Takes the session's waiting events in order; the first that awaits a look waits for it, and those queued
    /// behind it are taken on what that look found.
    QCoro::Task<> takeWaiting(QString sessionId);
    /// Speaks what a finished turn, an API error or a failed tool has to say.
    void announceHookEvent(const QString& eventName, const QJsonObject& payload);
    /// The files of what was taken in are written once the queue is empty.
    void scheduleFlush();
    /// A killed agent sends no "SessionEnd": a session whose agent process is known and gone ends here, and so does
    /// one tied to no process once nothing of its agent is left in its folder for it; so do the requests they still
    /// hold, which nobody is left to answer.
    void endSessionsOfGoneAgents();
    std::optional<hooks::ClaudeStatus> readSelectedStatus();
    /// The transcript watcher's data when it follows the session of this status, else nothing.
    hooks::TranscriptData transcriptOf(const std::optional<hooks::ClaudeStatus>& status) const;
    void selectSessionFromPanel(const QString& sid);
    /// Brings the session's terminal to the front; a jump that does not get there says so on the session's row.
    QCoro::Task<> jumpToTerminal(QString sid, hooks::SessionFolders fromHooks,
        std::optional<hooks::AgentProcessId> agent, hooks::SessionAgentFinder::Session question);
    void stepSessionFromPanel(bool forward);
    void approveFromPanel(const QString& sid, const QString& toolUseId, notch::NotchApprovalAction action);

    Links m_links;
    hooks::SessionRegistry m_registry;
    hooks::SessionFileWriter m_files;
    hooks::HookEventDispatcher m_dispatcher;
    hooks::FileWatcher m_fileWatcher;
    hooks::TranscriptWatcher m_transcriptWatcher;
    hooks::BurnRateTracker m_burnRate;
    notch::PanelSessionSync m_panelSync;
    bool m_flushScheduled = false;
    // By session id.
    std::map<QString, Waiting> m_waiting;
    std::size_t m_waitingEvents = 0;
    // Whether the event handed in last was dropped, the queue being full: its request, asked next, is answered at once.
    bool m_droppedLast = false;
    bool m_saidFull = false;
    // Carries the queued flush of a burst of hook events and the panel's clicks; dropQueued() ends them.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::app
