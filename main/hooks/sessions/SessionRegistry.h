#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QString>

#include "main/common/Clock.h"
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

    SessionRegistry(StatusDirectory directory, common::Clock& clock,
        QString legacyPath = QString::fromLatin1(StatusFiles::legacyStatusPath));

    std::function<void(const QString& line)> onLog;

    const std::vector<SessionSnapshot>& sessions() const { return m_sessions; }
    std::optional<SessionKey> selectedSid() const { return m_selectedSid; }
    int selectedIndex() const;
    std::optional<SessionSnapshot> selected() const;
    const StatusDirectory& directory() const { return m_directory; }

    /// Rebuilds the list from the directory; a directory that cannot be listed empties it and keeps the selection.
    void refresh();
    void refreshSnapshot(const SessionKey& sid);
    void addSession(const SessionKey& sid, const QString& cwd, const QString& adapter);
    void removeSession(const SessionKey& sid);
    void setHookSessionTitle(const SessionKey& sid, const QString& title);
    void setHookLastAssistant(const SessionKey& sid, const QString& text);
    void selectNext();
    void selectPrev();
    void select(const SessionKey& sid);

private:
    struct FileTimes {
        std::optional<QDateTime> status;
        std::optional<QDateTime> activity;
        std::optional<QDateTime> notify;
    };

    SessionSnapshot fileSnapshot(const SessionKey& key, const FileTimes& times) const;
    bool isPendingApproval(const SessionKey& key, const std::optional<QDateTime>& notifyMtime) const;
    std::optional<SessionSnapshot> legacyFallback();
    static void sortForDisplay(std::vector<SessionSnapshot>& list);
    void logList();
    void logSelection();
    void log(const QString& line);
    std::vector<SessionSnapshot>::iterator find(const SessionKey& key);

    StatusDirectory m_directory;
    common::Clock& m_clock;
    QString m_legacyPath;
    std::vector<SessionSnapshot> m_sessions;
    std::optional<SessionKey> m_selectedSid;
    std::map<SessionKey, QString> m_hookSessionTitles;
    std::map<SessionKey, QString> m_hookLastAssistants;
};

} // namespace murmeli::hooks
