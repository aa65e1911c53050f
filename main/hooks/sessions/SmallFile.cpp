#include "main/hooks/sessions/SmallFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmeli::hooks::SmallFile {

std::optional<QByteArray> read(const QString& path, qint64 limit)
{
    // Checked on the open descriptor, so what is read is what was checked. O_NONBLOCK: a FIFO under the name must
    // not hold us up before fstat shows what it is.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<QByteArray> result;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
            // One byte past the limit tells a file that grew after the size check from one that fits.
            QByteArray bytes = file.read(limit + 1);
            if (bytes.size() <= limit && file.error() == QFileDevice::NoError) {
                result = std::move(bytes);
            }
        }
    }
    ::close(fd);
    return result;
}

std::optional<TimedBytes> readOwn(const QString& path, const QDateTime& notBefore, qint64 limit)
{
    // O_NONBLOCK: a FIFO under the name must not hold us up before fstat shows what it is.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<TimedBytes> result;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() && info.st_size <= limit) {
        const QDateTime modified = QDateTime::fromMSecsSinceEpoch(
            qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1'000'000, Qt::UTC);
        QFile file;
        if (modified > notBefore && file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            QByteArray bytes = file.read(limit + 1);
            if (bytes.size() <= limit && file.error() == QFileDevice::NoError) {
                result = TimedBytes { std::move(bytes), modified };
            }
        }
    }
    ::close(fd);
    return result;
}

std::optional<QJsonObject> readObject(const QString& path)
{
    const auto bytes = read(path);
    return bytes ? parseObject(*bytes) : std::nullopt;
}

std::optional<QJsonObject> parseObject(const QByteArray& bytes)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* problem)
{
    const QFileInfo target(path);
    QTemporaryFile temporary(
        target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    temporary.setAutoRemove(true);
    if (!temporary.open() || temporary.write(bytes) != bytes.size() || !temporary.flush()) {
        if (problem) {
            *problem = temporary.errorString();
        }
        return false;
    }
    // rename() replaces the target in one step; QFile::rename would refuse an existing one.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        if (problem) {
            *problem = QString::fromLocal8Bit(std::strerror(errno));
        }
        return false;
    }
    temporary.setAutoRemove(false);
    return true;
}

} // namespace murmeli::hooks::SmallFile
