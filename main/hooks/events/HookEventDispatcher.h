#pragma once

#include <functional>
#include <map>
#include <optional>

#include <QHash>
#include <QJsonObject>
#include <QString>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/sessions/SessionFileWriter.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/terminals/SessionAgentFinder.h"

namespace murmeli::hooks {

/// Turns each hook event into what the rest of the system reads: the session's status (from its status line),
/// activity, notification, transcript-path and record files, and the registry's entries, titles and last assistant
/// texts.
class HookEventDispatcher final {
public:
    HookEventDispatcher(hooks::SessionRegistry& registry, hooks::SessionFileWriter& files, common::Clock& clock);

    common::LogSink onLog;
    /// Tells a session's own agent process from a server that runs the hooks of several sessions.
    hooks::SessionAgentFinder agentFinder;
    /// A session's own agent became known after its event was taken in: the owner calls flush(), which records it.
    std::function<void()> onAgentSettled;

    /// Applies the event to the registry and notes the session files it changes. Returns whether the sessions may
    /// have changed (the owner then calls flush() and refreshes what it shows); false for a new session that the full
    /// registry refuses and for a late event of an ended session (its status line, an event of an agent that has
    /// exited, or where its agent went without a word, an event that names none), for which nothing is written.
    bool dispatch(const QString& eventName, const QJsonObject& payload);
    /// Whether the event is of a session that ended, from a server that runs the hooks of several sessions, which
    /// only a fresh look through the processes tells from a late one: prepare() must end before dispatch() takes it.
    bool awaitsLook(const QString& eventName, const QJsonObject& payload) const;
    /// That look, where the event awaits one.
    QCoro::Task<> prepare(QString eventName, QJsonObject payload);
    /// Writes the noted files, the latest content of each, and re-reads those sessions. Returns whether it wrote.
    bool flush();
    /// For every listed session whose hooks a server runs, as time passes: agentFinder's recheck().
    void recheckAgents();
    /// What a "SessionEnd" does; agentGone for a session whose agent went without sending one, whose agent's late
    /// events then do not bring it back.
    void endSession(const hooks::SessionKey& key, bool agentGone = false);
    /// What agentFinder is asked of the listed session with that key and id: its folders and process, and the other
    /// sessions'.
    hooks::SessionAgentFinder::Session agentQuestion(const hooks::SessionKey& key, const QString& sessionId) const;

private:
    /// What agentFinder is asked of an ended session whose event says where it works.
    hooks::SessionAgentFinder::Session endedSession(const QString& sessionId, const QString& cwd) const;

    /// Whether an event of the ended session lists it again; runningAgent is the process its hooks named, where it
    /// runs.
    bool comesBack(std::optional<hooks::HookEventType> type, const QString& sessionId,
        const std::optional<hooks::AgentProcessId>& runningAgent, bool namesAgent) const;
    /// An ended session's event from a server is its own agent's only by proof: the session ended with its own
    /// process, or one was tied to it.
    bool needsProof(const QString& sessionId, const hooks::AgentProcessId& agent) const;

    struct FileContent {
        QString text; // activity text or notice message
        QString tool;
        QString type;
        qint64 ts = 0;
        QString project;
    };
    struct PendingFiles {
        std::optional<QString> transcriptPath;
        std::optional<FileContent> activity;
        std::optional<FileContent> notice;
        std::optional<QJsonObject> status;
    };

    hooks::AgentProcessId ownAgentOf(
        const hooks::SessionKey& key, const QString& sessionId, const hooks::AgentProcessId& named);
    void logOwnAgent(
        const hooks::SessionKey& key, const hooks::AgentProcessId& own, const hooks::AgentProcessId& named);
    /// A look through the processes for the session ended: what it tells is taken.
    void settleAgent(const QString& sessionId);
    void noteFiles(const QString& eventName, const hooks::SessionKey& key, const QJsonObject& payload);
    void writeStatus(const hooks::SessionKey& key, const QJsonObject& status);

    hooks::SessionRegistry& m_registry;
    hooks::SessionFileWriter& m_files;
    common::Clock& m_clock;
    QHash<hooks::SessionKey, QString> m_writtenTranscriptPaths;
    std::map<hooks::SessionKey, PendingFiles> m_pending;
};

} // namespace murmeli::hooks
