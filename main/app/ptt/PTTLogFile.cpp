#include "main/app/ptt/PTTLogFile.h"

#include <QDir>
#include <QFile>
#include <QMetaObject>

namespace murmeli::app {

QString PTTLogFile::defaultDirectory()
{
    return QDir::homePath() + QStringLiteral("/.murmeli/logs");
}

PTTLogFile::PTTLogFile(QString directory) : m_directory(directory.isEmpty() ? defaultDirectory() : std::move(directory))
{
    // One thread: lines land in the order the takes ended.
    m_pool.setMaxThreadCount(1);
}

PTTLogFile::~PTTLogFile()
{
    // The context outlives every append, so a failure is queued to a live object and then dropped with it.
    m_pool.waitForDone();
    m_context.reset();
}

QString PTTLogFile::pathFor(const QDate& day) const
{
    return m_directory + QStringLiteral("/ptt-") + day.toString(Qt::ISODate) + QStringLiteral(".jsonl");
}

void PTTLogFile::append(const PTTSessionLog& record)
{
    const QDateTime when = record.start.isValid() ? record.start : record.end;
    const QString path = pathFor(when.toLocalTime().date());
    QByteArray line = record.toJsonLine();
    line.append('\n');
    QObject* context = m_context.get();
    m_pool.start([this, context, directory = m_directory, path, line] {
        const std::optional<QString> problem = appendLine(directory, path, line);
        if (!problem) {
            return;
        }
        QMetaObject::invokeMethod(
            context,
            [this, message = *problem] {
                if (onLog) {
                    onLog(QStringLiteral("PTT: log write failed: ") + message, common::LogColor::Orange);
                }
            },
            Qt::QueuedConnection);
    });
}

bool PTTLogFile::waitForAppends(int timeoutMs)
{
    return m_pool.waitForDone(timeoutMs);
}

std::optional<QString> PTTLogFile::appendLine(const QString& directory, const QString& path, const QByteArray& line)
{
    if (!QDir().mkpath(directory)) {
        return QStringLiteral("cannot create ") + directory;
    }
    // The log tells when the user spoke and for how long: the user's eyes only.
    QFile::setPermissions(directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return path + QStringLiteral(": ") + file.errorString();
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // One write of the whole line, so a reader never sees half of it.
    if (file.write(line) != line.size() || !file.flush()) {
        return path + QStringLiteral(": ") + file.errorString();
    }
    return std::nullopt;
}

} // namespace murmeli::app
