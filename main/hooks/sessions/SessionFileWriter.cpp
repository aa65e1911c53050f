#include "main/hooks/sessions/SessionFileWriter.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SmallFile.h"

namespace murmeli::hooks {

SessionFileWriter::SessionFileWriter(StatusDirectory directory) : m_directory(std::move(directory)) { }

bool SessionFileWriter::write(const QString& name, const QByteArray& bytes) const
{
    if (!m_directory.prepare()) {
        return false;
    }
    return SmallFile::writeAtomically(m_directory.filePath(name), bytes);
}

bool SessionFileWriter::writeActivity(
    const QString& key, const QString& activity, const QString& tool, qint64 ts, const QString& project) const
{
    if (!SessionKey::isSafe(key)) {
        return false;
    }
    const QJsonObject object { { QStringLiteral("activity"), activity }, { QStringLiteral("tool"), tool },
        { QStringLiteral("ts"), ts }, { QStringLiteral("session"), key }, { QStringLiteral("project"), project } };
    return write(key + QStringLiteral("-activity.json"), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool SessionFileWriter::writeNotify(
    const QString& key, const QString& type, const QString& message, qint64 ts, const QString& project) const
{
    if (!SessionKey::isSafe(key)) {
        return false;
    }
    const QJsonObject object { { QStringLiteral("type"), type }, { QStringLiteral("ts"), ts },
        { QStringLiteral("session"), key }, { QStringLiteral("project"), project },
        { QStringLiteral("message"), message } };
    return write(key + QStringLiteral("-notify.json"), QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool SessionFileWriter::writeTranscriptPath(const QString& key, const QString& path) const
{
    if (!SessionKey::isSafe(key) || path.isEmpty()) {
        return false;
    }
    return write(key + QStringLiteral("-transcript-path.txt"), path.toUtf8());
}

bool SessionFileWriter::clearNotify(const QString& key) const
{
    if (key.isEmpty()) {
        return write(QStringLiteral("notify.json"), QByteArray());
    }
    if (!SessionKey::isSafe(key)) {
        return false;
    }
    return write(key + QStringLiteral("-notify.json"), QByteArray());
}

} // namespace murmeli::hooks
