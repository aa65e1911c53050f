#pragma once

#include <algorithm>
#include <cerrno>
#include <vector>

#include <QDir>
#include <QFile>
#include <QString>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include "tests/support/Wait.h"

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

/// Ends every process that runs with HOME set to home, a folder of the test's own: what the test started there,
/// daemons that left its process groups included. Called before the test removes that home, so that none of them
/// writes into it again afterwards; waits a bounded time for them to go.
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
            ::kill(pid, SIGKILL);
            ended.push_back(pid);
        }
    }
    waitUntil([&] { return std::all_of(ended.begin(), ended.end(), processGone); }, 10000);
}

} // namespace murmeli::test
