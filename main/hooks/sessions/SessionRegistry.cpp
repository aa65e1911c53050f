#include "main/hooks/sessions/SessionRegistry.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include <QFile>
#include <QStringList>

#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SmallFile.h"
#include "main/hooks/sessions/StatusFiles.h"

namespace murmeli::hooks {

namespace {

bool isLongEnough(const SessionKey& key)
{
    // A key holds ASCII only, so its length is its count of characters.
    return key.text().size() >= SessionRegistry::minimumKeyLength;
}

QString textOf(const std::map<SessionKey, QString>& texts, const SessionKey& key)
{
    const auto found = texts.find(key);
    return found == texts.end() ? QString() : found->second;
}

SessionFolders foldersOf(const std::map<SessionKey, SessionFolders>& folders, const SessionKey& key)
{
    const auto found = folders.find(key);
    return found == folders.end() ? SessionFolders {} : found->second;
}

std::optional<AgentProcessId> agentOf(const std::map<SessionKey, AgentProcessId>& agents, const SessionKey& key)
{
    const auto found = agents.find(key);
    return found == agents.end() ? std::nullopt : std::optional(found->second);
}

std::optional<QDateTime> timeOf(const std::map<SessionKey, QDateTime>& times, const SessionKey& key)
{
    const auto found = times.find(key);
    return found == times.end() ? std::nullopt : std::optional(found->second);
}

} // namespace

SessionRegistry::SessionRegistry(StatusDirectory directory, common::Clock& clock, QString legacyPath)
    : m_directory(std::move(directory)), m_clock(clock), m_legacyPath(std::move(legacyPath))
{
    m_keys.onLog = [this](const QString& line) { onLog(line); };
}

std::vector<SessionSnapshot>::iterator SessionRegistry::find(const SessionKey& key)
{
    return std::find_if(m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == key; });
}

int SessionRegistry::selectedIndex() const
{
    if (!m_selectedSid) {
        return 0;
    }
    const auto it = std::find_if(
        m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == *m_selectedSid; });
    return it == m_sessions.end() ? 0 : static_cast<int>(it - m_sessions.begin());
}

std::optional<SessionSnapshot> SessionRegistry::selected() const
{
    if (m_sessions.empty()) {
        return std::nullopt;
    }
    return m_sessions[static_cast<std::size_t>(selectedIndex())];
}

bool SessionRegistry::contains(const SessionKey& sid) const
{
    return std::any_of(m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == sid; });
}

std::optional<SessionKey> SessionRegistry::keyOf(const QJsonObject& payload)
{
    return keyFor(SessionKey::payloadSessionId(payload));
}

SessionKeyTable::Kept SessionRegistry::keptNow() const
{
    // A full table asks this of every id it holds: the listed keys are gathered once, at the first question.
    auto listed = std::make_shared<std::optional<std::set<SessionKey>>>();
    return [this, listed](const SessionKey& key) {
        if (!*listed) {
            listed->emplace();
            for (const SessionSnapshot& s : m_sessions) {
                (*listed)->insert(s.sid8);
            }
        }
        return (*listed)->contains(key) || (holdsRequest && holdsRequest(key));
    };
}

std::optional<SessionKey> SessionRegistry::keyFor(const QString& sessionId)
{
    return m_keys.keyFor(
        sessionId, [&](const SessionKey& key) { return contains(key) ? std::optional(idOnDisk(key)) : std::nullopt; },
        keptNow(), m_clock.now());
}

QString SessionRegistry::idOf(const SessionKey& sid) const
{
    return m_keys.idOf(sid);
}

QString SessionRegistry::idOnDisk(const SessionKey& sid) const
{
    const auto directory = m_directory.open();
    if (!directory) {
        return QString();
    }
    for (const StatusFileKind kind : { StatusFileKind::Session, StatusFileKind::Status }) {
        if (const auto object = directory->readObject(StatusFiles::fileName(sid, kind))) {
            if (const QJsonValue id = object->value(QLatin1String("session_id")); id.isString()) {
                return id.toString();
            }
        }
    }
    return QString();
}

bool SessionRegistry::isPendingApproval(
    const StatusDirectory::Access& directory, const SessionKey& key, const std::optional<QDateTime>& notifyMtime) const
{
    if (!notifyMtime) {
        return false;
    }
    // The file's own time decides, not the "ts" inside it.
    if (notifyMtime->msecsTo(m_clock.now()) >= notifyExpiryForApproval * 1000) {
        return false;
    }
    const auto object = directory.readObject(StatusFiles::fileName(key, StatusFileKind::Notify));
    return object && object->value(QLatin1String("type")) == QLatin1String("permission");
}

bool SessionRegistry::isIdleNotice(
    const StatusDirectory::Access& directory, const SessionKey& key, const QDateTime& modified) const
{
    const auto known = m_idleNotices.find(key);
    if (known != m_idleNotices.end() && known->second.first == modified) {
        return known->second.second;
    }
    const auto object = directory.readObject(StatusFiles::fileName(key, StatusFileKind::Notify));
    const bool idle = object && object->value(QLatin1String("type")) == QLatin1String("idle");
    m_idleNotices.insert_or_assign(key, std::pair(modified, idle));
    return idle;
}

SessionSnapshot SessionRegistry::fileSnapshot(
    const StatusDirectory::Access& directory, const SessionKey& key, const FileTimes& times) const
{
    SessionSnapshot snapshot(key);
    snapshot.statusMtime = times.status.value_or(SessionSnapshot::distantPast());
    snapshot.activityMtime = times.activity;
    if (times.notify && !isIdleNotice(directory, key, *times.notify)) {
        snapshot.notifyMtime = times.notify;
    }
    snapshot.isPendingApproval = isPendingApproval(directory, key, times.notify);
    snapshot.hookSessionTitle = textOf(m_hookSessionTitles, key);
    snapshot.hookLastAssistant = textOf(m_hookLastAssistants, key);
    snapshot.hookFolders = foldersOf(m_hookFolders, key);
    snapshot.hookAgent = agentOf(m_hookAgents, key);
    snapshot.hooksProcess = agentOf(m_hooksProcesses, key);
    snapshot.lastEventAt = timeOf(m_lastEvents, key);
    // A status file is Claude Code's status line; without one, only the hooks tell which agent it is.
    if (!times.status) {
        snapshot.adapter = textOf(m_hookAdapters, key);
    }
    return snapshot;
}

void SessionRegistry::sortForDisplay(std::vector<SessionSnapshot>& list)
{
    std::stable_sort(list.begin(), list.end(), [](const SessionSnapshot& a, const SessionSnapshot& b) {
        const QDateTime fa = a.freshestMtime();
        const QDateTime fb = b.freshestMtime();
        if (fa == fb) {
            return a.sid8 < b.sid8;
        }
        return fa > fb;
    });
}

void SessionRegistry::logList()
{
    QStringList keys;
    for (const SessionSnapshot& s : m_sessions) {
        if (keys.size() == listedKeysInLog) {
            keys << QStringLiteral("\u2026 +%1 more").arg(m_sessions.size() - listedKeysInLog);
            break;
        }
        keys << s.sid8.text();
    }
    onLog(QStringLiteral("Sessions: %1 active [%2]").arg(m_sessions.size()).arg(keys.join(QStringLiteral(", "))));
}

void SessionRegistry::logSelection()
{
    onLog(QStringLiteral("Session → %1 [%2/%3]")
              .arg(m_selectedSid->text())
              .arg(selectedIndex() + 1)
              .arg(m_sessions.size()));
}

void SessionRegistry::refresh()
{
    // An unusable directory is treated like one that cannot be listed: nothing is read from it or written to it.
    const auto directory = m_directory.openOrCreate();
    const auto entries = directory ? directory->fileTimes() : std::nullopt;
    if (!entries && !m_directory.answers()) {
        // On a mount that stopped answering the files say nothing either way: the sessions the hooks tell of keep
        // their rows, where their requests are shown, until it answers again.
        if (!std::exchange(m_folderSilent, true)) {
            onLog(QStringLiteral("Sessions: %1 does not answer; the list stays as the hooks keep it until it does")
                      .arg(m_directory.path()));
        }
        return;
    }
    if (std::exchange(m_folderSilent, false)) {
        onLog(QStringLiteral("Sessions: %1 answers again").arg(m_directory.path()));
    }
    if (!entries) {
        // Not an empty directory: in-memory sessions must not linger on as if nothing had happened.
        if (!m_sessions.empty()) {
            onLog(QStringLiteral("Sessions: the status folder cannot be read; its %1 sessions leave the list until it "
                                 "can")
                      .arg(m_sessions.size()));
        }
        m_sessions.clear();
        return;
    }

    std::map<SessionKey, FileTimes> times;
    for (const StatusDirectory::TimedName& entry : *entries) {
        for (const auto& [kind, slot] : { std::pair { StatusFileKind::Status, &FileTimes::status },
                 std::pair { StatusFileKind::Activity, &FileTimes::activity },
                 std::pair { StatusFileKind::Notify, &FileTimes::notify },
                 std::pair { StatusFileKind::Session, &FileTimes::record } }) {
            const auto keyText = StatusFiles::keyTextOf(entry.name, kind);
            if (keyText && !keyText->isEmpty()) {
                if (const auto key = SessionKey::fromFileKey(*keyText)) {
                    times[*key].*slot = entry.modified;
                }
                break;
            }
        }
    }

    std::set<SessionKey> candidates;
    for (const auto& [key, t] : times) {
        if (keyHasEnded(key)) {
            removeFiles(*directory, key);
            continue;
        }
        if (t.record && idOf(key).isEmpty()) {
            restoreFromRecord(*directory, key);
        }
        if (t.status || t.record) {
            candidates.insert(key);
        }
    }
    for (const SessionSnapshot& s : m_sessions) {
        candidates.insert(s.sid8);
    }

    std::vector<SessionSnapshot> list;
    // Why each listed session that this listing leaves out goes.
    std::map<SessionKey, QString> leaving;
    for (const SessionKey& key : candidates) {
        if (!isLongEnough(key)) {
            continue;
        }
        const auto found = times.find(key);
        const FileTimes fileTimes = found == times.end() ? FileTimes {} : found->second;
        if (fileTimes.status) {
            list.push_back(fileSnapshot(*directory, key, fileTimes));
            continue;
        }
        const auto existing = find(key);
        if (existing != m_sessions.end() && (existing->inMemoryOnly || holds(key))) {
            list.push_back(*existing);
        } else if (fileTimes.record) {
            list.push_back(fileSnapshot(*directory, key, fileTimes));
        } else {
            leaving.emplace(key, QStringLiteral("its files are gone"));
        }
        // Else it was listed from files that are gone now: the start-up cleanup, which runs beside the first listing,
        // found its agent gone. Its latest event alone must not keep it listed; a request it holds keeps its row, the
        // one place its card is shown, until it is answered.
    }

    const QDateTime now = m_clock.now();
    std::erase_if(list, [&](const SessionSnapshot& s) {
        if (s.isActive(now)) {
            return false;
        }
        leaving.emplace(
            s.sid8, QStringLiteral("nothing came from it for %1 hours").arg(int(sessionSafetyWindowSeconds / 3600)));
        return true;
    });
    sortForDisplay(list);
    std::optional<SessionKey> firstLeftOut;
    if (list.size() > maxSessions) {
        // Sessions whose request waits stay, whatever came later; the full list lets them in with room only.
        std::stable_partition(list.begin(), list.end(), [&](const SessionSnapshot& s) { return holds(s.sid8); });
        firstLeftOut = list[maxSessions].sid8;
        std::for_each(list.begin() + maxSessions, list.end(),
            [&](const SessionSnapshot& s) { leaving.emplace(s.sid8, QStringLiteral("the list is full")); });
        list.erase(list.begin() + maxSessions, list.end());
        sortForDisplay(list);
    }

    if (list.empty()) {
        if (auto legacy = legacyFallback(*directory)) {
            list.push_back(*legacy);
        }
    }

    for (const SessionSnapshot& old : m_sessions) {
        if (std::none_of(list.begin(), list.end(), [&](const SessionSnapshot& s) { return s.sid8 == old.sid8; })) {
            const auto why = leaving.find(old.sid8);
            onLog(QStringLiteral("Sessions: %1 left the list: %2")
                      .arg(old.sid8.text(), why == leaving.end() ? QStringLiteral("nothing lists it") : why->second));
        }
    }
    const std::size_t oldCount = m_sessions.size();
    const std::optional<SessionKey> oldSelected = m_selectedSid;
    m_sessions = std::move(list);

    if (!m_selectedSid || find(*m_selectedSid) == m_sessions.end()) {
        m_selectedSid = m_sessions.empty() ? std::nullopt : std::optional(m_sessions.front().sid8);
    }
    if (m_sessions.size() != oldCount) {
        logList();
    }
    if (m_selectedSid && m_selectedSid != oldSelected) {
        onLog(QStringLiteral("Session → %1 (auto)").arg(m_selectedSid->text()));
    }
    forgetExpired();
    if (firstLeftOut) {
        refuse(*firstLeftOut);
    } else if (m_sessions.size() < maxSessions) {
        m_refusing = false;
        m_makingRoom = false;
    }
}

void SessionRegistry::refuse(const SessionKey& sid)
{
    if (std::exchange(m_refusing, true)) {
        return;
    }
    onLog(QStringLiteral("Sessions: limit of %1 reached; %2 and further new sessions are refused until there is room")
              .arg(maxSessions)
              .arg(sid.text()));
}

void SessionRegistry::forgetExpired()
{
    std::set<SessionKey> kept;
    for (const SessionSnapshot& s : m_sessions) {
        kept.insert(s.sid8);
    }
    // A session off the list for a poll of an unusable directory comes back as it was.
    const QDateTime now = m_clock.now();
    for (const auto& [key, time] : m_lastEvents) {
        if (time.msecsTo(now) < sessionSafetyWindowSeconds * 1000) {
            kept.insert(key);
        }
    }
    const auto expired = [&](const auto& entry) { return !kept.contains(entry.first); };
    for (auto* texts : { &m_hookSessionTitles, &m_hookLastAssistants, &m_hookAdapters }) {
        std::erase_if(*texts, expired);
    }
    std::erase_if(m_hookFolders, expired);
    std::erase_if(m_hookAgents, expired);
    std::erase_if(m_hooksProcesses, expired);
    std::erase_if(m_hookWindows, expired);
    std::erase_if(m_lastEvents, expired);
    std::erase_if(m_idleNotices, expired);
}

void SessionRegistry::forgetMemoryOf(const SessionKey& sid)
{
    m_hookSessionTitles.erase(sid);
    m_hookLastAssistants.erase(sid);
    m_hookAdapters.erase(sid);
    m_hookFolders.erase(sid);
    m_hookAgents.erase(sid);
    m_hooksProcesses.erase(sid);
    m_hookWindows.erase(sid);
    m_lastEvents.erase(sid);
    m_idleNotices.erase(sid);
}

void SessionRegistry::restoreFromRecord(const StatusDirectory::Access& directory, const SessionKey& sid)
{
    const auto object = directory.readObject(StatusFiles::fileName(sid, StatusFileKind::Session));
    const auto record = object ? SessionRecord::fromJson(*object) : std::nullopt;
    if (!record || m_keys.holds(record->sessionId) || hasEnded(record->sessionId)) {
        return;
    }
    if (!m_keys.pair(record->sessionId, sid, keptNow(), m_clock.now())) {
        return;
    }
    if (!m_hookAdapters.contains(sid)) {
        setHookAdapter(sid, record->adapter);
    }
    if (!m_hookFolders.contains(sid)) {
        setHookFolder(sid, record->folders.project);
        setHookFolder(sid, record->folders.current);
    }
    // A recorded process that has gone since ends the session at the next poll, as it would have without the restart.
    if (record->agent && !m_hookAgents.contains(sid)) {
        setHookAgent(sid, *record->agent, record->hooksProcess);
    }
    if (!m_hookWindows.contains(sid)) {
        setHookWindows(sid, record->windows);
    }
    if (record->lastEvent && !m_lastEvents.contains(sid)) {
        // A time in the future counts as now, so that a record cannot keep a session listed for ever.
        m_lastEvents.insert_or_assign(sid, std::min(*record->lastEvent, m_clock.now()));
    }
}

std::optional<SessionSnapshot> SessionRegistry::legacyFallback(const StatusDirectory::Access& directory)
{
    // The legacy file sits in the shared /tmp: only a regular file of our own is taken, never a link or a file
    // someone else put under the name.
    const auto file = SmallFile::readOwn(m_legacyPath, m_clock.now().addSecs(-legacyFreshnessSeconds));
    if (!file) {
        return std::nullopt;
    }
    const auto object = SmallFile::parseObject(file->bytes);
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue id = object->value(QLatin1String("session_id"));
    if (!id.isString()) {
        return std::nullopt;
    }
    // Its id must not steer where we write.
    const std::optional<SessionKey> key = SessionKey::fromSessionId(id.toString());
    if (!key || keyHasEnded(*key)) {
        return std::nullopt;
    }
    directory.write(StatusFiles::fileName(*key, StatusFileKind::Status), file->bytes);
    SessionSnapshot snapshot(*key);
    snapshot.statusMtime = file->modified;
    return snapshot;
}

void SessionRegistry::refreshSnapshot(const SessionKey& sid)
{
    const auto directory = m_directory.open();
    if (!directory) {
        return;
    }
    if (keyHasEnded(sid)) {
        return;
    }
    const auto modified = [&](StatusFileKind kind) { return directory->modified(StatusFiles::fileName(sid, kind)); };
    FileTimes times;
    times.status = modified(StatusFileKind::Status);
    if (!times.status) {
        return;
    }
    times.activity = modified(StatusFileKind::Activity);
    times.notify = modified(StatusFileKind::Notify);
    SessionSnapshot snapshot = fileSnapshot(*directory, sid, times);
    const auto it = find(sid);
    if (it != m_sessions.end()) {
        *it = std::move(snapshot);
    } else if (m_sessions.size() >= maxSessions) {
        refuse(sid);
    } else {
        m_sessions.push_back(std::move(snapshot));
        sortForDisplay(m_sessions);
    }
}

bool SessionRegistry::makeRoomFor(const SessionKey& sid)
{
    const QDateTime now = m_clock.now();
    const auto mayGo = [&](const SessionSnapshot& s) {
        return !s.isPendingApproval && !holds(s.sid8) && s.lastHeardOf().msecsTo(now) >= makesRoomAfterSeconds * 1000;
    };
    std::optional<SessionKey> quietest;
    QDateTime quietSince;
    for (const SessionSnapshot& s : m_sessions) {
        if (mayGo(s) && (!quietest || s.lastHeardOf() < quietSince)) {
            quietest = s.sid8;
            quietSince = s.lastHeardOf();
        }
    }
    if (!quietest) {
        return false;
    }
    if (!std::exchange(m_makingRoom, true)) {
        onLog(QStringLiteral("Sessions: limit of %1 reached; %2, quiet longest, makes room for %3, and so on for "
                             "further new sessions")
                  .arg(maxSessions)
                  .arg(quietest->text(), sid.text()));
    }
    // Its id keeps its key while the table has room, so it comes back under it as it posts again.
    if (const auto directory = m_directory.open()) {
        removeFiles(*directory, *quietest);
    }
    forgetMemoryOf(*quietest);
    std::erase_if(m_sessions, [&](const SessionSnapshot& s) { return s.sid8 == *quietest; });
    if (m_selectedSid == quietest) {
        m_selectedSid = m_sessions.empty() ? std::nullopt : std::optional(m_sessions.front().sid8);
    }
    return true;
}

bool SessionRegistry::addSession(const SessionKey& sid, const QString& cwd, const QString& adapter)
{
    auto it = find(sid);
    if (it == m_sessions.end() && m_sessions.size() >= maxSessions) {
        if (!isLongEnough(sid) || !makeRoomFor(sid)) {
            refuse(sid);
            return false;
        }
        it = m_sessions.end();
    }
    if (!isLongEnough(sid)) {
        return true;
    }
    setHookAdapter(sid, adapter);
    SessionSnapshot snapshot(sid);
    snapshot.statusMtime = m_clock.now();
    snapshot.inMemoryOnly = true;
    snapshot.adapter = textOf(m_hookAdapters, sid);
    snapshot.hookSessionTitle = textOf(m_hookSessionTitles, sid);
    snapshot.hookLastAssistant = textOf(m_hookLastAssistants, sid);
    snapshot.hookFolders = foldersOf(m_hookFolders, sid);
    snapshot.hookAgent = agentOf(m_hookAgents, sid);
    snapshot.hooksProcess = agentOf(m_hooksProcesses, sid);
    snapshot.lastEventAt = timeOf(m_lastEvents, sid);
    if (it != m_sessions.end()) {
        *it = std::move(snapshot);
    } else {
        m_sessions.insert(m_sessions.begin(), std::move(snapshot));
        logList();
    }
    setHookFolder(sid, cwd);
    if (!m_selectedSid) {
        m_selectedSid = sid;
    }
    return true;
}

void SessionRegistry::removeFiles(const StatusDirectory::Access& directory, const SessionKey& sid)
{
    for (const StatusFileKind kind : StatusFiles::allKinds) {
        directory.remove(StatusFiles::fileName(sid, kind));
    }
}

bool SessionRegistry::hasEnded(const QString& sessionId) const
{
    return m_keys.hasEnded(sessionId);
}

bool SessionRegistry::endedWithItsAgent(const QString& sessionId) const
{
    return m_keys.hasEnded(sessionId, true);
}

bool SessionRegistry::keyHasEnded(const SessionKey& sid) const
{
    return hasEnded(idOf(sid));
}

void SessionRegistry::forgetEnded(const QString& sessionId)
{
    m_keys.revive(sessionId);
}

void SessionRegistry::noteEvent(const SessionKey& sid, const QString& adapter, bool whileIdle)
{
    const auto it = find(sid);
    if (it == m_sessions.end()) {
        return;
    }
    if (!whileIdle || !m_lastEvents.contains(sid)) {
        const QDateTime now = m_clock.now();
        m_lastEvents.insert_or_assign(sid, now);
        it->lastEventAt = now;
    }
    if (setHookAdapter(sid, adapter) && it->inMemoryOnly) {
        it->adapter = m_hookAdapters.at(sid);
    }
}

bool SessionRegistry::setHookAdapter(const SessionKey& sid, const QString& adapter)
{
    if (adapter.isEmpty()) {
        return false;
    }
    m_hookAdapters.insert_or_assign(sid, common::text::truncateWithEllipsis(adapter, maxHookTextCharacters));
    return true;
}

std::optional<SessionRecord> SessionRegistry::recordOf(const SessionKey& sid) const
{
    const QString id = idOf(sid);
    if (id.isEmpty() || !contains(sid)) {
        return std::nullopt;
    }
    return SessionRecord { id, textOf(m_hookAdapters, sid), foldersOf(m_hookFolders, sid), timeOf(m_lastEvents, sid),
        agentOf(m_hookAgents, sid), agentOf(m_hooksProcesses, sid), hookWindowsOf(sid) };
}

void SessionRegistry::removeSession(const SessionKey& sid, bool agentGone)
{
    if (const auto directory = m_directory.open()) {
        removeFiles(*directory, sid);
    }
    // The id keeps its key, so that what it still sends is known for what it is.
    m_keys.markEnded(idOf(sid), m_clock.now(), agentGone);
    forgetMemoryOf(sid);
    const std::size_t before = m_sessions.size();
    std::erase_if(m_sessions, [&](const SessionSnapshot& s) { return s.sid8 == sid; });
    if (m_sessions.size() != before) {
        logList();
    }
    if (m_selectedSid == sid) {
        m_selectedSid = m_sessions.empty() ? std::nullopt : std::optional(m_sessions.front().sid8);
    }
    if (m_sessions.size() < maxSessions) {
        m_refusing = false;
        m_makingRoom = false;
    }
}

void SessionRegistry::setHookSessionTitle(const SessionKey& sid, const QString& title)
{
    setHookText(m_hookSessionTitles, &SessionSnapshot::hookSessionTitle, sid, title);
}

void SessionRegistry::setHookLastAssistant(const SessionKey& sid, const QString& text)
{
    setHookText(m_hookLastAssistants, &SessionSnapshot::hookLastAssistant, sid, text);
}

void SessionRegistry::setHookFolder(const SessionKey& sid, const QString& folder)
{
    if (!folder.startsWith(u'/') || folder.size() > maxFolderCharacters) {
        return;
    }
    const auto it = find(sid);
    if (it == m_sessions.end() && !m_hookFolders.contains(sid) && m_hookFolders.size() >= maxSessions) {
        return;
    }
    SessionFolders& folders = m_hookFolders[sid];
    folders.current = folder;
    if (folders.project.isEmpty()) {
        folders.project = folder;
    }
    if (it != m_sessions.end()) {
        it->hookFolders = folders;
    }
}

void SessionRegistry::setHookAgent(
    const SessionKey& sid, const AgentProcessId& agent, const std::optional<AgentProcessId>& hooksProcess)
{
    const auto it = find(sid);
    if (it == m_sessions.end() && !m_hookAgents.contains(sid) && m_hookAgents.size() >= maxSessions) {
        return;
    }
    m_hookAgents.insert_or_assign(sid, agent);
    if (hooksProcess && *hooksProcess != agent) {
        m_hooksProcesses.insert_or_assign(sid, *hooksProcess);
    } else if (hooksProcess) {
        m_hooksProcesses.erase(sid);
    }
    if (it != m_sessions.end()) {
        it->hookAgent = agent;
        it->hooksProcess = agentOf(m_hooksProcesses, sid);
    }
}

bool SessionRegistry::setHookWindows(const SessionKey& sid, const std::vector<AgentProcessId>& windows)
{
    if (windows.empty()) {
        return m_hookWindows.erase(sid) > 0;
    }
    if (!m_hookWindows.contains(sid) && (!m_hookAgents.contains(sid) || m_hookWindows.size() >= maxSessions)) {
        return false;
    }
    std::vector<AgentProcessId>& kept = m_hookWindows[sid];
    return std::exchange(kept, windows) != windows;
}

std::vector<AgentProcessId> SessionRegistry::hookWindowsOf(const SessionKey& sid) const
{
    const auto found = m_hookWindows.find(sid);
    return found == m_hookWindows.end() ? std::vector<AgentProcessId> {} : found->second;
}

void SessionRegistry::setHookText(
    std::map<SessionKey, QString>& texts, QString SessionSnapshot::*field, const SessionKey& sid, const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        return;
    }
    const auto it = find(sid);
    // A text may come before its session is listed, but not for more keys than the list could ever hold.
    if (it == m_sessions.end() && !texts.contains(sid) && texts.size() >= maxSessions) {
        return;
    }
    const QString kept = common::text::truncateWithEllipsis(trimmed, maxHookTextCharacters);
    texts.insert_or_assign(sid, kept);
    if (it != m_sessions.end()) {
        (*it).*field = kept;
    }
}

void SessionRegistry::selectNext()
{
    if (m_sessions.empty()) {
        return;
    }
    const int count = static_cast<int>(m_sessions.size());
    select(m_sessions[static_cast<std::size_t>((selectedIndex() + 1) % count)].sid8);
}

void SessionRegistry::selectPrev()
{
    if (m_sessions.empty()) {
        return;
    }
    const int count = static_cast<int>(m_sessions.size());
    select(m_sessions[static_cast<std::size_t>((selectedIndex() - 1 + count) % count)].sid8);
}

void SessionRegistry::select(const SessionKey& sid)
{
    if (find(sid) == m_sessions.end()) {
        return;
    }
    const std::optional<SessionKey> old = std::exchange(m_selectedSid, sid);
    if (old != sid) {
        logSelection();
    }
}

} // namespace murmeli::hooks
