#include "main/hooks/sessions/SessionRegistry.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>

#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SmallFile.h"

namespace murmeli::hooks {

namespace {

const QString statusSuffix = QStringLiteral("-status.json");
const QString activitySuffix = QStringLiteral("-activity.json");
const QString notifySuffix = QStringLiteral("-notify.json");
const QString transcriptSuffix = QStringLiteral("-transcript-path.txt");

std::optional<QDateTime> modificationTime(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return std::nullopt;
    }
    const QDateTime time = info.lastModified();
    return time.isValid() ? std::optional(time) : std::nullopt;
}

} // namespace

SessionRegistry::SessionRegistry(StatusDirectory directory, common::Clock& clock, QString legacyPath)
    : m_directory(std::move(directory)), m_clock(clock), m_legacyPath(std::move(legacyPath))
{
}

bool SessionRegistry::isUsableKey(const QString& key)
{
    return SessionKey::isSafe(key) && common::text::characterCount(key) >= minimumKeyLength;
}

void SessionRegistry::log(const QString& line)
{
    if (onLog) {
        onLog(line);
    }
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

bool SessionRegistry::isPendingApproval(const QString& key, const std::optional<QDateTime>& notifyMtime) const
{
    if (!notifyMtime) {
        return false;
    }
    // The file's own time decides, not the "ts" inside it.
    if (notifyMtime->msecsTo(m_clock.now()) >= notifyExpiryForApproval * 1000) {
        return false;
    }
    const auto object = SmallFile::readObject(m_directory.filePath(key + notifySuffix));
    return object && object->value(QLatin1String("type")) == QLatin1String("permission");
}

SessionSnapshot SessionRegistry::fileSnapshot(const QString& key, const FileTimes& times) const
{
    SessionSnapshot snapshot;
    snapshot.sid8 = key;
    snapshot.statusMtime = times.status.value_or(SessionSnapshot::distantPast());
    snapshot.activityMtime = times.activity;
    snapshot.notifyMtime = times.notify;
    snapshot.isPendingApproval = isPendingApproval(key, times.notify);
    const auto title = m_hookSessionTitles.find(key);
    snapshot.hookSessionTitle = title == m_hookSessionTitles.end() ? QString() : title->second;
    const auto assistant = m_hookLastAssistants.find(key);
    snapshot.hookLastAssistant = assistant == m_hookLastAssistants.end() ? QString() : assistant->second;
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
        keys << s.sid8;
    }
    log(QStringLiteral("Sessions: %1 active [%2]").arg(m_sessions.size()).arg(keys.join(QStringLiteral(", "))));
}

void SessionRegistry::logSelection()
{
    log(QStringLiteral("Session → %1 [%2/%3]").arg(*m_selectedSid).arg(selectedIndex() + 1).arg(m_sessions.size()));
}

void SessionRegistry::refresh()
{
    std::vector<SessionSnapshot> list;
    // An unusable directory is treated like one that cannot be listed: nothing is read from it or written to it.
    const bool usable = m_directory.prepare();
    QDir dir(m_directory.path());
    const QStringList names = usable ? dir.entryList(QDir::Files | QDir::Hidden | QDir::System) : QStringList();
    if (!usable || !dir.exists()) {
        m_sessions.clear();
        return;
    }

    std::map<QString, FileTimes> times;
    for (const QString& name : names) {
        const auto time = modificationTime(m_directory.filePath(name));
        if (!time) {
            continue;
        }
        for (const auto& [suffix, slot] :
            { std::pair { &statusSuffix, &FileTimes::status }, std::pair { &activitySuffix, &FileTimes::activity },
                std::pair { &notifySuffix, &FileTimes::notify } }) {
            if (name.endsWith(*suffix) && name.size() > suffix->size()) {
                times[name.left(name.size() - suffix->size())].*slot = time;
                break;
            }
        }
    }

    QSet<QString> candidates;
    for (const auto& [key, t] : times) {
        if (t.status) {
            candidates.insert(key);
        }
    }
    for (const SessionSnapshot& s : m_sessions) {
        candidates.insert(s.sid8);
    }

    for (const QString& key : candidates) {
        if (!isUsableKey(key)) {
            continue;
        }
        const auto found = times.find(key);
        const FileTimes fileTimes = found == times.end() ? FileTimes {} : found->second;
        if (fileTimes.status) {
            list.push_back(fileSnapshot(key, fileTimes));
            continue;
        }
        const auto existing = std::find_if(m_sessions.begin(), m_sessions.end(),
            [&](const SessionSnapshot& s) { return s.sid8 == key && s.inMemoryOnly; });
        if (existing != m_sessions.end()) {
            list.push_back(*existing);
        } else {
            list.push_back(fileSnapshot(key, fileTimes));
        }
    }

    std::erase_if(list, [&](const SessionSnapshot& s) { return !s.isActive(m_clock.now()); });
    sortForDisplay(list);

    if (list.empty()) {
        if (auto legacy = legacyFallback()) {
            list.push_back(*legacy);
        }
    }

    const std::size_t oldCount = m_sessions.size();
    const std::optional<QString> oldSelected = m_selectedSid;
    m_sessions = std::move(list);

    const bool selectionListed = m_selectedSid
        && std::any_of(
            m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == *m_selectedSid; });
    if (!selectionListed) {
        m_selectedSid = m_sessions.empty() ? std::nullopt : std::optional(m_sessions.front().sid8);
    }
    if (m_sessions.size() != oldCount) {
        logList();
    }
    if (m_selectedSid && m_selectedSid != oldSelected) {
        log(QStringLiteral("Session → %1 (auto)").arg(*m_selectedSid));
    }
}

std::optional<SessionSnapshot> SessionRegistry::legacyFallback()
{
    const auto time = modificationTime(m_legacyPath);
    if (!time || time->msecsTo(m_clock.now()) >= legacyFreshnessSeconds * 1000) {
        return std::nullopt;
    }
    const auto bytes = SmallFile::read(m_legacyPath);
    if (!bytes) {
        return std::nullopt;
    }
    const auto object = SmallFile::parseObject(*bytes);
    if (!object) {
        return std::nullopt;
    }
    const QJsonValue id = object->value(QLatin1String("session_id"));
    if (!id.isString()) {
        return std::nullopt;
    }
    const QString key = SessionKey::fromSessionId(id.toString());
    // The legacy file sits in the shared /tmp: its id must not steer where we write.
    if (!SessionKey::isSafe(key) || !m_directory.prepare()) {
        return std::nullopt;
    }
    QSaveFile copy(m_directory.filePath(key + statusSuffix));
    if (copy.open(QIODevice::WriteOnly) && copy.write(*bytes) == bytes->size()) {
        copy.commit();
    } else {
        copy.cancelWriting();
    }
    SessionSnapshot snapshot;
    snapshot.sid8 = key;
    snapshot.statusMtime = *time;
    return snapshot;
}

void SessionRegistry::refreshSnapshot(const QString& sid)
{
    if (sid.isEmpty() || !SessionKey::isSafe(sid)) {
        return;
    }
    FileTimes times;
    times.status = modificationTime(m_directory.filePath(sid + statusSuffix));
    if (!times.status) {
        return;
    }
    times.activity = modificationTime(m_directory.filePath(sid + activitySuffix));
    times.notify = modificationTime(m_directory.filePath(sid + notifySuffix));
    SessionSnapshot snapshot = fileSnapshot(sid, times);
    const auto it
        = std::find_if(m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == sid; });
    if (it != m_sessions.end()) {
        *it = std::move(snapshot);
    } else {
        m_sessions.push_back(std::move(snapshot));
        sortForDisplay(m_sessions);
    }
}

void SessionRegistry::addSession(const QString& sid, const QString& cwd, const QString& adapter)
{
    Q_UNUSED(cwd)
    if (!isUsableKey(sid)) {
        return;
    }
    SessionSnapshot snapshot;
    snapshot.sid8 = sid;
    snapshot.statusMtime = m_clock.now();
    snapshot.inMemoryOnly = true;
    snapshot.adapter = adapter;
    const auto title = m_hookSessionTitles.find(sid);
    snapshot.hookSessionTitle = title == m_hookSessionTitles.end() ? QString() : title->second;
    const auto assistant = m_hookLastAssistants.find(sid);
    snapshot.hookLastAssistant = assistant == m_hookLastAssistants.end() ? QString() : assistant->second;

    const auto it
        = std::find_if(m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) { return s.sid8 == sid; });
    if (it != m_sessions.end()) {
        *it = std::move(snapshot);
    } else {
        m_sessions.insert(m_sessions.begin(), std::move(snapshot));
        logList();
    }
    if (!m_selectedSid) {
        m_selectedSid = sid;
    }
}

void SessionRegistry::removeSession(const QString& sid)
{
    if (sid.isEmpty() || !SessionKey::isSafe(sid)) {
        return;
    }
    for (const QString& suffix : { statusSuffix, activitySuffix, notifySuffix, transcriptSuffix }) {
        QFile::remove(m_directory.filePath(sid + suffix));
    }
    m_hookSessionTitles.erase(sid);
    m_hookLastAssistants.erase(sid);
    const std::size_t before = m_sessions.size();
    std::erase_if(m_sessions, [&](const SessionSnapshot& s) { return s.sid8 == sid; });
    if (m_sessions.size() != before) {
        logList();
    }
    if (m_selectedSid == sid) {
        m_selectedSid = m_sessions.empty() ? std::nullopt : std::optional(m_sessions.front().sid8);
    }
}

void SessionRegistry::setHookSessionTitle(const QString& sid, const QString& title)
{
    const QString trimmed = title.trimmed();
    if (sid.isEmpty() || trimmed.isEmpty()) {
        return;
    }
    m_hookSessionTitles[sid] = trimmed;
    for (SessionSnapshot& s : m_sessions) {
        if (s.sid8 == sid) {
            s.hookSessionTitle = trimmed;
            break;
        }
    }
}

void SessionRegistry::setHookLastAssistant(const QString& sid, const QString& text)
{
    const QString trimmed = text.trimmed();
    if (sid.isEmpty() || trimmed.isEmpty()) {
        return;
    }
    m_hookLastAssistants[sid] = trimmed;
    for (SessionSnapshot& s : m_sessions) {
        if (s.sid8 == sid) {
            s.hookLastAssistant = trimmed;
            break;
        }
    }
}

void SessionRegistry::selectNext()
{
    if (m_sessions.empty()) {
        return;
    }
    const int count = static_cast<int>(m_sessions.size());
    const QString key = m_sessions[static_cast<std::size_t>((selectedIndex() + 1) % count)].sid8;
    const std::optional<QString> old = std::exchange(m_selectedSid, key);
    if (old != key) {
        logSelection();
    }
}

void SessionRegistry::selectPrev()
{
    if (m_sessions.empty()) {
        return;
    }
    const int count = static_cast<int>(m_sessions.size());
    const QString key = m_sessions[static_cast<std::size_t>((selectedIndex() - 1 + count) % count)].sid8;
    const std::optional<QString> old = std::exchange(m_selectedSid, key);
    if (old != key) {
        logSelection();
    }
}

void SessionRegistry::select(const QString& sid)
{
    if (sid.isEmpty() || std::none_of(m_sessions.begin(), m_sessions.end(), [&](const SessionSnapshot& s) {
            return s.sid8 == sid;
        })) {
        return;
    }
    const std::optional<QString> old = std::exchange(m_selectedSid, sid);
    if (old != sid) {
        logSelection();
    }
}

QSet<QString> SessionRegistry::liveSessionIds(const QByteArray& processList)
{
    QSet<QString> live;
    const QString marker = QStringLiteral("--resume ");
    for (const QString& line : QString::fromUtf8(processList).split(QLatin1Char('\n'))) {
        if (!line.contains(QLatin1String("claude"))) {
            continue;
        }
        const qsizetype at = line.indexOf(marker);
        if (at < 0) {
            continue;
        }
        const QString rest = line.mid(at + marker.size());
        const qsizetype end = rest.indexOf(QLatin1Char(' '));
        const QString id = end < 0 ? rest : rest.left(end);
        if (common::text::characterCount(id) >= SessionKey::length) {
            live.insert(SessionKey::fromSessionId(id));
        }
    }
    return live;
}

std::optional<QByteArray> SessionRegistry::readProcessListWithPs()
{
    QProcess ps;
    ps.setStandardErrorFile(QProcess::nullDevice());
    ps.start(QStringLiteral("/bin/ps"), { QStringLiteral("-eo"), QStringLiteral("args") });
    if (!ps.waitForStarted(5000)) {
        return std::nullopt;
    }
    QByteArray output;
    QElapsedTimer elapsed;
    elapsed.start();
    // Drain while waiting so a long process table never fills the pipe.
    while (ps.state() != QProcess::NotRunning && elapsed.elapsed() < 5000) {
        ps.waitForReadyRead(100);
        output += ps.readAllStandardOutput();
    }
    if (ps.state() != QProcess::NotRunning) {
        ps.kill();
        ps.waitForFinished(1000);
        return std::nullopt;
    }
    output += ps.readAllStandardOutput();
    if (ps.exitStatus() != QProcess::NormalExit || ps.exitCode() != 0) {
        return std::nullopt;
    }
    return output;
}

void SessionRegistry::cleanupStaleFiles(const StatusDirectory& directory, const ProcessListReader& readProcessList)
{
    if (!directory.isUsable()) {
        return;
    }
    QDir dir(directory.path());
    if (!dir.exists()) {
        return;
    }
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    // Without the process list every session would look dead; deleting then would destroy live sessions' files.
    const std::optional<QByteArray> processList = readProcessList ? readProcessList() : std::nullopt;
    if (!processList) {
        return;
    }
    const QSet<QString> live = liveSessionIds(*processList);
    QSet<QString> stale;
    for (const QString& name : names) {
        if (name.endsWith(statusSuffix)) {
            const QString key = name.left(name.size() - statusSuffix.size());
            if (!live.contains(key)) {
                stale.insert(key);
            }
        }
    }
    for (const QString& name : names) {
        const bool ofStale = std::any_of(
            stale.begin(), stale.end(), [&](const QString& key) { return name.startsWith(key + QLatin1Char('-')); });
        // A live session's files stay even when a stale key happens to be a prefix of its key.
        const bool ofLive = std::any_of(
            live.begin(), live.end(), [&](const QString& key) { return name.startsWith(key + QLatin1Char('-')); });
        if (ofStale && !ofLive) {
            QFile::remove(directory.filePath(name));
        }
    }
}

} // namespace murmeli::hooks
