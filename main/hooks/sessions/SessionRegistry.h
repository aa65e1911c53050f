#pragma once

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <QJsonObject>
#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SessionKeyTable.h"
#include "main/hooks/sessions/SessionRecord.h"
#include "main/hooks/sessions/SessionSnapshot.h"
#include "main/hooks/sessions/StatusDirectory.h"

namespace murmeli::hooks {

/// The live agent sessions, most recently active first, with one selected; rebuilt from the status directory and
/// patched by hook events. Main thread only.
class SessionRegistry final {
public:
    static constexpr qint64 sessionSafetyWindowSeconds = 7200;
    static constexpr qint64 notifyExpiryForApproval = 60;
    static constexpr qint64 legacyFreshnessSeconds = 900;
    static constexpr int minimumKeyLength = 4;
    /// The most sessions listed at once; beyond it new sessions are refused, so a flood of ids costs a bounded
    /// amount of memory, time and log.
    static constexpr std::size_t maxSessions = 256;
    /// With the list full, a listed session quiet this long makes room for a new one, so that a burst of ids keeps
    /// new sessions off the list only while it lasts.
    static constexpr qint64 makesRoomAfterSeconds = 600;
    /// The list line names at most this many keys, then how many more there are.
    static constexpr int listedKeysInLog = 20;
    /// Hook-given titles and assistant texts are kept to this many user-perceived characters.
    static constexpr int maxHookTextCharacters = 500;
    static constexpr int maxFolderCharacters = 4096;

    SessionRegistry(StatusDirectory directory, common::Clock& clock,
        QString legacyPath = QString::fromLatin1(StatusFiles::legacyStatusPath));
    // The key table's log lines go out through this one's sink.
    SessionRegistry(const SessionRegistry&) = delete;
    SessionRegistry& operator=(const SessionRegistry&) = delete;

    common::LineSink onLog;
    /// Whether a request of the session waits for a decision: its key stays its own, and it keeps its place on the
    /// list. Unset: none does.
    std::function<bool(const SessionKey& sid)> holdsRequest;

    const std::vector<SessionSnapshot>& sessions() const { return m_sessions; }
    std::optional<SessionKey> selectedSid() const { return m_selectedSid; }
    int selectedIndex() const;
    std::optional<SessionSnapshot> selected() const;
    const StatusDirectory& directory() const { return m_directory; }

    bool contains(const SessionKey& sid) const;

    /// The key of a session id (SessionKeyTable::keyFor()): two ids that share their first 8 characters get keys of
    /// their own, and an id keeps its key as long as it may post. nullopt when the id gives no safe key.
    std::optional<SessionKey> keyFor(const QString& sessionId);
    /// keyFor() of SessionKey::payloadSessionId().
    std::optional<SessionKey> keyOf(const QJsonObject& payload);
    /// The session id that holds the key; empty when none does.
    QString idOf(const SessionKey& sid) const;

    /// Rebuilds the list from the directory's status files and records; a directory that cannot be listed empties
    /// it and keeps the selection, one that does not answer leaves it as it is. Of more than maxSessions active
    /// sessions the most recent are kept. Titles and assistant texts of keys that are no longer listed, nor heard from
    /// within the activity window, are forgotten.
    void refresh();
    void refreshSnapshot(const SessionKey& sid);
    /// False when the session is new and the list is full of sessions that hold a request or were heard from
    /// within makesRoomAfterSeconds: it is then refused, with one log line until there is room again. Else the
    /// session quiet longest makes room: it goes off the list with its files, and comes back as it posts again.
    bool addSession(const SessionKey& sid, const QString& cwd, const QString& adapter);
    /// Forgets the session and, when the directory is usable, deletes its files. Until forgetEnded() of its id, a
    /// status file written for it afterwards is deleted as it is found, not listed. agentGone: it ended because its
    /// agent process is gone, not because the agent said so.
    void removeSession(const SessionKey& sid, bool agentGone = false);
    /// True for a session id that ended and has not been taken back since.
    bool hasEnded(const QString& sessionId) const;
    /// True for a session id that ended because its agent process went, and has not started again since.
    bool endedWithItsAgent(const QString& sessionId) const;
    /// The session runs again.
    void forgetEnded(const QString& sessionId);
    /// A hook event of a listed session: its latest activity, whatever the agent; a non-empty adapter names it. What
    /// the agent sends on its own while idle (Claude Code's status line every few minutes, its reminder that it waits
    /// for input) is the latest activity only of a session nothing else has told of yet.
    void noteEvent(const SessionKey& sid, const QString& adapter, bool whileIdle = false);
    /// What to keep on disk of a listed session whose id is known.
    std::optional<SessionRecord> recordOf(const SessionKey& sid) const;
    /// Trimmed and cut to maxHookTextCharacters; kept for a key not yet listed only while fewer than maxSessions
    /// texts are kept.
    void setHookSessionTitle(const SessionKey& sid, const QString& title);
    void setHookLastAssistant(const SessionKey& sid, const QString& text);
    /// A folder a hook event says the session's agent is in now; the first one a session gives is its project
    /// folder. Only absolute paths of up to maxFolderCharacters are taken.
    void setHookFolder(const SessionKey& sid, const QString& folder);
    /// The agent process a hook event of the session came from; the latest one counts. hooksProcess: the process
    /// that ran the hook, where that is not the agent itself but a server that may run the hooks of several sessions.
    void setHookAgent(
        const SessionKey& sid, const AgentProcessId& agent, const std::optional<AgentProcessId>& hooksProcess = {});
    /// The windows that could have been the session's own, as the look of the server that runs its hooks saw them;
    /// kept in its record. Returns whether they changed.
    bool setHookWindows(const SessionKey& sid, const std::vector<AgentProcessId>& windows);
    std::vector<AgentProcessId> hookWindowsOf(const SessionKey& sid) const;
    void selectNext();
    void selectPrev();
    void select(const SessionKey& sid);

private:
    struct FileTimes {
        std::optional<QDateTime> status;
        std::optional<QDateTime> activity;
        std::optional<QDateTime> notify;
        std::optional<QDateTime> record;
    };

    SessionSnapshot fileSnapshot(
        const StatusDirectory::Access& directory, const SessionKey& key, const FileTimes& times) const;
    bool isPendingApproval(const StatusDirectory::Access& directory, const SessionKey& key,
        const std::optional<QDateTime>& notifyMtime) const;
    /// The notification file of this time says only that the agent waits for input; read once per time.
    bool isIdleNotice(const StatusDirectory::Access& directory, const SessionKey& key, const QDateTime& modified) const;
    std::optional<SessionSnapshot> legacyFallback(const StatusDirectory::Access& directory);
    void setHookText(std::map<SessionKey, QString>& texts, QString SessionSnapshot::*field, const SessionKey& sid,
        const QString& text);
    static void removeFiles(const StatusDirectory::Access& directory, const SessionKey& sid);
    /// Titles, texts, folders, agents and event times of keys that are not listed and not heard from for the
    /// activity window.
    void forgetExpired();
    void forgetMemoryOf(const SessionKey& sid);
    /// False, remembering nothing, for an empty adapter.
    bool setHookAdapter(const SessionKey& sid, const QString& adapter);
    /// The id the session's own record names, else its status file; empty when neither does.
    QString idOnDisk(const SessionKey& sid) const;
    bool keyHasEnded(const SessionKey& sid) const;
    /// After a restart: the pairing, agent, folders and latest event a record on disk keeps, for a key not yet held.
    void restoreFromRecord(const StatusDirectory::Access& directory, const SessionKey& sid);
    void refuse(const SessionKey& sid);
    /// Takes the session quiet longest off a full list for a newcomer; false when none may go.
    bool makeRoomFor(const SessionKey& sid);
    bool holds(const SessionKey& sid) const { return holdsRequest && holdsRequest(sid); }
    /// Whether a key must stay with its id, as the list is now: it is listed, or its session holds a request.
    SessionKeyTable::Kept keptNow() const;
    static void sortForDisplay(std::vector<SessionSnapshot>& list);
    void logList();
    void logSelection();
    std::vector<SessionSnapshot>::iterator find(const SessionKey& key);

    StatusDirectory m_directory;
    common::Clock& m_clock;
    QString m_legacyPath;
    std::vector<SessionSnapshot> m_sessions;
    std::optional<SessionKey> m_selectedSid;
    std::map<SessionKey, QString> m_hookSessionTitles;
    std::map<SessionKey, QString> m_hookLastAssistants;
    std::map<SessionKey, SessionFolders> m_hookFolders;
    std::map<SessionKey, AgentProcessId> m_hookAgents;
    std::map<SessionKey, AgentProcessId> m_hooksProcesses;
    std::map<SessionKey, std::vector<AgentProcessId>> m_hookWindows;
    std::map<SessionKey, QString> m_hookAdapters;
    std::map<SessionKey, QDateTime> m_lastEvents;
    // By key, the time of its notification file and whether that file was an idle reminder.
    mutable std::map<SessionKey, std::pair<QDateTime, bool>> m_idleNotices;
    // Also which ids ended: an agent's status line can run once more after its session ended (on /clear, on exit),
    // and a hook can still be on its way from an agent that is gone.
    SessionKeyTable m_keys;
    // Set by the first refusal of a full list and cleared once there is room, so a flood logs one line; the same for
    // sessions that make room.
    bool m_refusing = false;
    bool m_makingRoom = false;
    // Set while the directory does not answer, so that the stretch costs two log lines.
    bool m_folderSilent = false;
};

} // namespace murmeli::hooks
