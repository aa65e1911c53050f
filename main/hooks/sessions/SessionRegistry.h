#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QSet>
#include <QString>

#include "main/common/Clock.h"
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
    static constexpr auto legacyStatusPath = "/tmp/vantor-status.json";

    /// Reads the full command lines of every process; nullopt when they cannot be had.
    using ProcessListReader = std::function<std::optional<QByteArray>()>;

    SessionRegistry(
        StatusDirectory directory, common::Clock& clock, QString legacyPath = QString::fromLatin1(legacyStatusPath));

    std::function<void(const QString& line)> onLog;

    const std::vector<SessionSnapshot>& sessions() const { return m_sessions; }
    std::optional<QString> selectedSid() const { return m_selectedSid; }
    int selectedIndex() const;
    std::optional<SessionSnapshot> selected() const;
    const StatusDirectory& directory() const { return m_directory; }

    void refresh();
    void refreshSnapshot(const QString& sid);
    void addSession(const QString& sid, const QString& cwd, const QString& adapter);
    void removeSession(const QString& sid);
    void setHookSessionTitle(const QString& sid, const QString& title);
    void setHookLastAssistant(const QString& sid, const QString& text);
    void selectNext();
    void selectPrev();
    void select(const QString& sid);

    /// Deletes the files of sessions that have a status file but no running agent. Deletes nothing when the
    /// directory cannot be listed or the process list cannot be read.
    static void cleanupStaleFiles(const StatusDirectory& directory, const ProcessListReader& readProcessList);
    /// Keys of agents running with "--resume <id>", from `ps -eo args` output.
    static QSet<QString> liveSessionIds(const QByteArray& processList);
    /// Runs /bin/ps -eo args with a time limit.
    static std::optional<QByteArray> readProcessListWithPs();

private:
    struct FileTimes {
        std::optional<QDateTime> status;
        std::optional<QDateTime> activity;
        std::optional<QDateTime> notify;
    };

    SessionSnapshot fileSnapshot(const QString& key, const FileTimes& times) const;
    bool isPendingApproval(const QString& key, const std::optional<QDateTime>& notifyMtime) const;
    std::optional<SessionSnapshot> legacyFallback();
    static void sortForDisplay(std::vector<SessionSnapshot>& list);
    void logList();
    void logSelection();
    void log(const QString& line);
    static bool isUsableKey(const QString& key);

    StatusDirectory m_directory;
    common::Clock& m_clock;
    QString m_legacyPath;
    std::vector<SessionSnapshot> m_sessions;
    std::optional<QString> m_selectedSid;
    std::map<QString, QString> m_hookSessionTitles;
    std::map<QString, QString> m_hookLastAssistants;
};

} // namespace murmeli::hooks
