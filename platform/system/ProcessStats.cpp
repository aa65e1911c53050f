#include "platform/system/ProcessStats.h"

#include <QFile>
#include <QList>

namespace murmeli::platform {

namespace {

// The status file is a few kilobytes; anything far larger is not the file we know.
constexpr qint64 maxStatusBytes = 64 * 1024;

// The number after "Name:" on its line, or nullopt; the unit word after it is left to the caller.
std::optional<quint64> fieldValue(const QByteArray& status, const QByteArray& name)
{
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith(name + ':')) {
            continue;
        }
        const QList<QByteArray> words = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const quint64 value = words.value(0).toULongLong(&ok);
        return ok ? std::optional(value) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<ProcessStats> parseProcStatus(const QByteArray& status)
{
    const auto residentKiB = fieldValue(status, "VmRSS");
    const auto threads = fieldValue(status, "Threads");
    if (!residentKiB || !threads || *residentKiB > (quint64(1) << 50) || *threads > 1'000'000) {
        return std::nullopt;
    }
    return ProcessStats { *residentKiB * 1024, static_cast<int>(*threads) };
}

std::optional<ProcessStats> readProcessStats()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return parseProcStatus(file.read(maxStatusBytes));
}

} // namespace murmeli::platform
