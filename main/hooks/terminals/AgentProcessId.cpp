#include "main/hooks/terminals/AgentProcessId.h"

#include <algorithm>

#include <QByteArray>
#include <QFile>
#include <QList>

namespace murmeli::hooks {

// The fields after the name, which is in parentheses and may hold spaces and parentheses itself: the state first,
// the controlling terminal fifth (0 for none), the start time twentieth.
std::optional<AgentProcessId::KernelStat> AgentProcessId::kernelStat(qint64 pid)
{
    if (pid <= 1) {
        return std::nullopt;
    }
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray line = file.read(4096);
    const qsizetype nameStart = line.indexOf('(');
    const qsizetype nameEnd = line.lastIndexOf(") ");
    if (nameStart < 0 || nameEnd < nameStart) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = line.mid(nameEnd + 2).simplified().split(' ');
    bool isNumber = false;
    const quint64 start = fields.value(19).toULongLong(&isNumber);
    bool terminalIsNumber = false;
    const qint64 terminal = fields.value(4).toLongLong(&terminalIsNumber);
    if (!isNumber || !terminalIsNumber || fields[0].size() != 1) {
        return std::nullopt;
    }
    return KernelStat { QString::fromUtf8(line.mid(nameStart + 1, nameEnd - nameStart - 1)), fields[0][0],
        terminal != 0, start };
}

std::optional<AgentProcessId> AgentProcessId::parse(QStringView text)
{
    const QList<QStringView> parts = text.split(u' ');
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool pidIsNumber = false;
    bool startIsNumber = false;
    AgentProcessId id { parts[0].toLongLong(&pidIsNumber), parts[1].toULongLong(&startIsNumber) };
    // Signs and spaces are no part of what the scripts send.
    const auto digitsOnly = [](QStringView part) {
        return std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!pidIsNumber || !startIsNumber || id.pid <= 1 || !digitsOnly(parts[0]) || !digitsOnly(parts[1])) {
        return std::nullopt;
    }
    return id;
}

std::optional<AgentProcessId> AgentProcessId::ofPid(qint64 pid)
{
    const std::optional<KernelStat> state = kernelStat(pid);
    if (!state) {
        return std::nullopt;
    }
    return AgentProcessId { pid, state->startTicks };
}

bool AgentProcessId::isRunning() const
{
    const std::optional<KernelStat> state = kernelStat(pid);
    // Z: dead, its parent has not reaped it yet; X: being reaped.
    return state && state->startTicks == startTicks && state->state != 'Z' && state->state != 'X';
}

} // namespace murmeli::hooks
