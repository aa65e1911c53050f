#pragma once

#include <optional>

#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace murmeli::hooks {

/// An agent's process as its hook scripts name it: the pid and the start time in clock ticks after boot, as
/// /proc/<pid>/stat gives them, so that a later process given the same pid is never taken for it.
struct AgentProcessId final {
    /// What /proc/<pid>/stat tells of a process.
    struct KernelStat {
        QString name; // the kernel's short name of its executable
        char state = 0;
        bool hasTerminal = false; // it has a controlling terminal
        quint64 startTicks = 0;
    };

    qint64 pid = 0;
    quint64 startTicks = 0;

    /// From the "x-murmeli-agent-process" header's text, "<pid> <start>"; nullopt for anything else.
    static std::optional<AgentProcessId> parse(QStringView text);
    /// The process with this pid as it runs now; nullopt when there is none.
    static std::optional<AgentProcessId> ofPid(qint64 pid);

    /// The stat line of a pid; nullopt when there is no such process.
    static std::optional<KernelStat> kernelStat(qint64 pid);

    /// Still runs: the pid is listed with the same start time and is not dead and waiting to be reaped.
    bool isRunning() const;
    QString pidText() const { return QString::number(pid); }

    friend bool operator==(const AgentProcessId&, const AgentProcessId&) = default;
};

} // namespace murmeli::hooks
