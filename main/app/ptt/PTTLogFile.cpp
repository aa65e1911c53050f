#include "main/app/ptt/PTTLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    // The log tells when the user spoke and for how long: the user's eyes only. A folder that is a link to another
    // one is the user's choice, and the mode of what it points at is not ours to change.
    const QByteArray folder = QFile::encodeName(directory);
    if (const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); fd >= 0) {
        ::fchmod(fd, S_IRWXU);
        ::close(fd);
    }
    const QByteArray name = QFile::encodeName(path);
    // A file of our own making is made for the user alone; an existing one keeps the mode it has.
    int fd
        = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0 && errno == EEXIST) {
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    struct stat before { };
    const bool sized = ::fstat(fd, &before) == 0;
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, std::size_t(line.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Half a line would have the next take's line glued to it: what was written of this one goes again.
            if (sized) {
                while (::ftruncate(fd, before.st_size) < 0 && errno == EINTR) { }
            }
            ::close(fd);
            return path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
        }
        written += n;
    }
    ::close(fd);
    return std::nullopt;
}

} // namespace murmeli::app
