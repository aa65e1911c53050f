#pragma once

#include <algorithm>

#include <QFile>
#include <QList>
#include <QtGlobal>

#include <unistd.h>

namespace murmeli::test {

/// This process's resident memory in bytes, from /proc/self/statm; 0 where it cannot be read.
inline qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

/// The most resident memory has grown since it was made, as far as note() has seen; sample it in a wait's condition.
class ResidentGrowth final {
public:
    void note() { m_peak = std::max(m_peak, residentBytes()); }
    qint64 peakGrowth() const { return std::max<qint64>(0, m_peak - m_start); }

private:
    qint64 m_start = residentBytes();
    qint64 m_peak = m_start;
};

} // namespace murmeli::test
