#pragma once

#include <cerrno>

#include <QFile>
#include <QString>

#include <signal.h>
#include <sys/types.h>

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

} // namespace murmeli::test
