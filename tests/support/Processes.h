#pragma once

#include <algorithm>
#include <cerrno>
#include <vector>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace murmeli::test {

/// Whether the process has ended. A killed orphan stays a zombie until the system's first process reaps it, which in
/// some containers never happens; a zombie has ended all the same.
inline bool processGone(pid_t pid)
{
    if (::kill(pid, 0) != 0) {
        return errno == ESRCH;
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    // "pid (name) S ...": the state follows the last parenthesis, since the name may hold any.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.size() > close + 2 && line.at(close + 2) == 'Z';
}

/// The files of the Unix sockets the processes have open, where they are files.
inline QStringList socketFilesOf(const std::vector<pid_t>& pids)
{
    QSet<QByteArray> inodes;
    for (const pid_t pid : pids) {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[64] = {};
            const ssize_t size = ::readlink(QFile::encodeName(fds + u'/' + fd).constData(), target, sizeof target - 1);
            const QByteArray link(target, size > 0 ? size : 0);
            if (link.startsWith("socket:[") && link.endsWith(']')) {
                inodes.insert(link.mid(8, link.size() - 9));
            }
        }
    }
    QStringList files;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!inodes.isEmpty() && table.open(QIODevice::ReadOnly)) {
        // "Num RefCount Protocol Flags Type St Inode Path"; a path that begins with @ names no file.
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 8 && inodes.contains(fields[6]) && fields[7].startsWith('/')) {
                files << QFile::decodeName(fields[7]);
            }
        }
    }
    return files;
}

/// Ends every process that runs with HOME set to home, a folder of the test's own: what the test started there,
/// daemons that left its process groups included. Called before the test removes that home, so that none of them
/// writes into it again afterwards; waits a bounded time for them to go, each given the chance to end on its own
/// first. A socket one of them listened on elsewhere (Codex's daemon keeps its own in the temporary folder, with a
/// lock file beside it) goes with it.
inline void endProcessesWithHome(const QString& home)
{
    const QByteArray entry = "HOME=" + QFile::encodeName(home);
    std::vector<pid_t> ended;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const pid_t pid = name.toInt(&isNumber);
        QFile environment(QStringLiteral("/proc/%1/environ").arg(name));
        if (isNumber && pid != ::getpid() && environment.open(QIODevice::ReadOnly)
            && environment.readAll().split('\0').contains(entry)) {
            ended.push_back(pid);
        }
    }
    const QStringList sockets = socketFilesOf(ended);
    // The wait turns no event loop: this runs as a test ends, when what the loop would deliver (a late log line) may
    // reach what the test has let go of already.
    const auto waitForThem = [&](int timeoutMs) {
        for (QDeadlineTimer deadline(timeoutMs);
             !std::all_of(ended.begin(), ended.end(), processGone) && !deadline.hasExpired();) {
            QThread::msleep(10);
        }
    };
    for (const pid_t pid : ended) {
        ::kill(pid, SIGTERM);
    }
    waitForThem(5000);
    for (const pid_t pid : ended) {
        ::kill(pid, SIGKILL);
    }
    waitForThem(10000);
    for (const QString& socket : sockets) {
        struct stat info { };
        if (::lstat(QFile::encodeName(socket).constData(), &info) == 0 && S_ISSOCK(info.st_mode)) {
            QFile::remove(socket);
            QFile::remove(socket + QStringLiteral(".lock"));
        }
    }
}

} // namespace murmeli::test
