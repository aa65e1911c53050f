#pragma once

#include <QFile>
#include <QList>

#include <unistd.h>

namespace murmeli::test {

/// This process's resident memory in bytes, from /proc/self/statm; 0 when it cannot be read.
inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

} // namespace murmeli::test
