#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QJsonObject>
#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/sessions/SessionKey.h"
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
    /// The list line names at most this many keys, then how many more there are.
    static constexpr int listedKeysInLog = 20;
    /// Hook-given titles and assistant texts are kept to this many user-perceived characters.
    static constexpr int maxHookTextCharacters = 500;
    static constexpr int maxFolderCharacters = 4096;

    SessionRegistry(StatusDirectory directory, common::Clock& clock,
        QString legacyPath = QString::fromLatin1(StatusFiles::legacyStatusPath));

    common::LineSink onLog;

    const std::vector<SessionSnapshot>& sessions() const { return m_sessions; }
    std::optional<SessionKey> selectedSid() const { return m_selectedSid; }
    int selectedIndex() const;
    std::optional<SessionSnapshot> selected() const;
    const StatusDirectory& directory() const { return m_directory; }

    bool contains(const SessionKey& sid) const;

    /// The key of a session id: SessionKey::fromSessionId() unless a different id already holds that key, which two
    /// ids sharing their first 8 characters would; the later one then gets 8 other characters of its own id. An id
    /// keeps its key while its session is listed. nullopt when the id gives no safe key.
    std::optional<SessionKey> keyFor(const QString& sessionId);
    /// keyFor() of SessionKey::payloadSessionId().
    std::optional<SessionKey> keyOf(const QJsonObject& payload);

    /// Rebuilds the list from the directory; a directory that cannot be listed empties it and keeps the selection.
    /// Of more than maxSessions active sessions the most recent are kept. Titles and assistant texts of keys that
    /// are no longer listed are forgotten.
    void refresh();
    void refreshSnapshot(const SessionKey& sid);
    /// False when the session is new and the list is full: it is then refused, with one log line until there is
    /// room again.
    bool addSession(const SessionKey& sid, const QString& cwd, const QString& adapter);
    /// Forgets the session and, when the directory is usable, deletes its files. Until hasEnded() is lifted, a
    /// status file written for it afterwards is deleted as it is found, not listed.
    void removeSession(const SessionKey& sid);
    /// True for a session that was told to end and has not been heard from since, but by its status line.
    bool hasEnded(const SessionKey& sid) const;
    /// The session runs again: resumed, or a new one given the key.
    void forgetEnded(const SessionKey& sid);
    /// Trimmed and cut to maxHookTextCharacters; kept for a key not yet listed only while fewer than maxSessions
    /// texts are kept.
    void setHookSessionTitle(const SessionKey& sid, const QString& title);
    void setHookLastAssistant(const SessionKey& sid, const QString& text);
    /// A folder a hook event says the session's agent is in now; the first one a session gives is its project
    /// folder. Only absolute paths of up to maxFolderCharacters are taken.
    void setHookFolder(const SessionKey& sid, const QString& folder);
    /// The agent process a hook event of the session came from; the latest one counts.
    void setHookAgent(const SessionKey& sid, const AgentProcessId& agent);
    void selectNext();
    void selectPrev();
    void select(const SessionKey& sid);

private:
    struct FileTimes {
        std::optional<QDateTime> status;
        std::optional<QDateTime> activity;
        std::optional<QDateTime> notify;
    };

    SessionSnapshot fileSnapshot(
        const StatusDirectory::Access& directory, const SessionKey& key, const FileTimes& times) const;
    bool isPendingApproval(const StatusDirectory::Access& directory, const SessionKey& key,
        const std::optional<QDateTime>& notifyMtime) const;
    std::optional<SessionSnapshot> legacyFallback(const StatusDirectory::Access& directory);
    void setHookText(std::map<SessionKey, QString>& texts, QString SessionSnapshot::*field, const SessionKey& sid,
        const QString& text);
    static void removeFiles(const StatusDirectory::Access& directory, const SessionKey& sid);
    void forgetUnlistedTexts();
    /// Lets go of the ids of keys no longer listed; with keep, that key stays claimed.
    void forgetUnlistedIds(const std::optional<SessionKey>& keep = std::nullopt);
    void refuse(const SessionKey& sid);
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
    // Which id holds which key, both ways, so that two ids never share one.
    std::map<SessionKey, QString> m_idOfKey;
    std::map<QString, SessionKey> m_keyOfId;
    // An agent's status line can run once more after its session ended (on /clear, on exit) and write the file
    // that would list it again. Oldest first, at most maxSessions.
    std::deque<SessionKey> m_ended;
    // Set by the first refusal of a full list and cleared once there is room, so a flood logs one line.
    bool m_refusing = false;
};

} // namespace murmeli::hooks
