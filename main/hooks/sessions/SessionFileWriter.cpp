#include "main/hooks/sessions/SessionFileWriter.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "main/hooks/sessions/SmallFile.h"

namespace murmeli::hooks {

SessionFileWriter::SessionFileWriter(StatusDirectory directory) : m_directory(std::move(directory)) { }

bool SessionFileWriter::write(const QString& name, const QByteArray& bytes)
{
    QString problem;
    const auto directory = m_directory.openOrCreate(&problem);
    if (directory && directory->write(name, bytes, &problem)) {
        m_failing.remove(name);
        return true;
    }
    // Bounded, since the names come from the sessions' keys: past the bound a failure is merely not logged.
    if (!m_failing.contains(name) && m_failing.size() < maxFailingNames) {
        m_failing.insert(name);
        onLog(QStringLiteral("[hook-diag] could not write %1/%2: %3").arg(m_directory.path(), name, problem),
            common::LogColor::Red);
    }
    return false;
}

bool SessionFileWriter::exists(const SessionKey& key, StatusFileKind kind) const
{
    const auto directory = m_directory.open();
    return directory && directory->exists(StatusFiles::fileName(key, kind));
}

bool SessionFileWriter::writeActivity(
    const SessionKey& key, const QString& activity, const QString& tool, qint64 ts, const QString& project)
{
    const QJsonObject object { { QStringLiteral("activity"), activity }, { QStringLiteral("tool"), tool },
        { QStringLiteral("ts"), ts }, { QStringLiteral("session"), key.text() },
        { QStringLiteral("project"), project } };
    return write(
        StatusFiles::fileName(key, StatusFileKind::Activity), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool SessionFileWriter::writeNotify(
    const SessionKey& key, const QString& type, const QString& message, qint64 ts, const QString& project)
{
    const QJsonObject object { { QStringLiteral("type"), type }, { QStringLiteral("ts"), ts },
        { QStringLiteral("session"), key.text() }, { QStringLiteral("project"), project },
        { QStringLiteral("message"), message } };
    return write(
        StatusFiles::fileName(key, StatusFileKind::Notify), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool SessionFileWriter::writeStatus(const SessionKey& key, const QByteArray& json)
{
    return write(StatusFiles::fileName(key, StatusFileKind::Status), json);
}

bool SessionFileWriter::writeRecord(const SessionKey& key, const SessionRecord& record)
{
    return write(StatusFiles::fileName(key, StatusFileKind::Session), record.toJson());
}

void SessionFileWriter::removeStatusOf(const SessionKey& key, const QString& sessionId)
{
    const auto directory = m_directory.open();
    if (!directory) {
        return;
    }
    // One call for the look and the removal it decides on.
    std::function<bool()> remove
        = [path = directory->filePath(StatusFiles::fileName(key, StatusFileKind::Status)), sessionId] {
              const auto object = SmallFile::readObject(path);
              return object && object->value(QLatin1String("session_id")) == sessionId && QFile::remove(path);
          };
    directory->call(std::move(remove));
}

bool SessionFileWriter::writeTranscriptPath(const SessionKey& key, const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    return write(StatusFiles::fileName(key, StatusFileKind::TranscriptPath), path.toUtf8());
}

bool SessionFileWriter::clearNotify(const std::optional<SessionKey>& key)
{
    return write(key ? StatusFiles::fileName(*key, StatusFileKind::Notify)
                     : QString(StatusFiles::baseName(StatusFileKind::Notify)),
        QByteArray());
}

} // namespace murmeli::hooks
