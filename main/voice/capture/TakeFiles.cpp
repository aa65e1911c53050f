#include "main/voice/capture/TakeFiles.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace murmeli::voice {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Ours alone: a real directory (lstat, so a link is seen as one), owned by us, that no one else can enter.
bool isPrivateFolder(const QByteArray& path, QString* why)
{
    struct stat info { };
    if (::lstat(path.constData(), &info) != 0) {
        *why = systemError();
        return false;
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        *why = QStringLiteral("it is not a directory");
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *why = QStringLiteral("it belongs to uid %1").arg(info.st_uid);
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        *why = QStringLiteral("others may use it (mode 0%1)").arg(info.st_mode & 0777, 3, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

} // namespace

TakeFiles::TakeFiles(QString root) : m_root(root.isEmpty() ? QDir::tempPath() : std::move(root)) { }

TakeFiles::~TakeFiles()
{
    removeAll();
    // A folder made under a name of its own is found by no later start, nor by the removal: it goes with us (only
    // when empty, so nothing that another put there goes with it).
    if (m_folderIsFresh) {
        ::rmdir(QFile::encodeName(m_folder).constData());
    }
}

std::optional<QString> TakeFiles::usableFolder(QString* error)
{
    QString why;
    if (!m_folder.isEmpty() && isPrivateFolder(QFile::encodeName(m_folder), &why)) {
        return m_folder;
    }
    QDir().mkpath(m_root);
    const QString usual = QDir(m_root).filePath(QStringLiteral("murmeli-takes-%1").arg(::geteuid()));
    const QByteArray encoded = QFile::encodeName(usual);
    // Made with its mode at once, so there is no moment in which others could put something in it.
    if (::mkdir(encoded.constData(), 0700) == 0 || errno == EEXIST) {
        if (isPrivateFolder(encoded, &why)) {
            m_folder = usual;
            m_folderIsFresh = false;
            return m_folder;
        }
    } else {
        why = systemError();
    }
    // The usual name is taken by something that is not ours to use: a folder of our own under a name no one
    // could have planted.
    QByteArray unique = QFile::encodeName(usual + QStringLiteral("-XXXXXX"));
    if (::mkdtemp(unique.data()) == nullptr) {
        if (error) {
            *error = QStringLiteral("no private folder for the take in %1 (%2 cannot be used: %3; %4)")
                         .arg(m_root, usual, why, systemError());
        }
        return std::nullopt;
    }
    m_folder = QFile::decodeName(unique);
    m_folderIsFresh = true;
    return m_folder;
}

std::optional<QString> TakeFiles::create(const QString& stem, QString* error)
{
    const std::optional<QString> folder = usableFolder(error);
    if (!folder) {
        return std::nullopt;
    }
    constexpr int suffixLength = 4; // ".wav"
    QByteArray name = QFile::encodeName(QDir(*folder).filePath(stem + QStringLiteral("-XXXXXX.wav")));
    // mkstemps opens with O_CREAT | O_EXCL and mode 0600: an existing entry, a link included, is never reused.
    const int fd = ::mkstemps(name.data(), suffixLength);
    if (fd < 0) {
        if (error) {
            *error = QStringLiteral("the take's file cannot be made in %1: %2").arg(*folder, systemError());
        }
        return std::nullopt;
    }
    ::close(fd);
    m_files << QFile::decodeName(name);
    return m_files.last();
}

std::optional<QString> TakeFiles::write(const QString& stem, const QByteArray& bytes, QString* error)
{
    std::optional<QString> path = create(stem, error);
    if (!path) {
        return std::nullopt;
    }
    QFile file(*path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush()) {
        return path;
    }
    if (error) {
        *error = QStringLiteral("the take's file %1 cannot be written: %2").arg(*path, file.errorString());
    }
    file.close();
    m_files.removeLast();
    ::unlink(QFile::encodeName(*path).constData());
    return std::nullopt;
}

void TakeFiles::removeAll()
{
    for (const QString& file : std::as_const(m_files)) {
        ::unlink(QFile::encodeName(file).constData());
    }
    m_files.clear();
}

} // namespace murmeli::voice
