#pragma once

#include <optional>

#include <QByteArray>
#include <QtGlobal>

namespace murmeli::platform {

/// What the running process costs the machine, as the health ticker reports it.
struct ProcessStats {
    quint64 residentBytes = 0;
    int threadCount = 0;

    bool operator==(const ProcessStats&) const = default;
};

/// The running process's resident memory and thread count; nullopt when the system does not tell.
std::optional<ProcessStats> readProcessStats();

/// Reads the two figures out of a /proc/<pid>/status text; nullopt when either is missing or malformed.
std::optional<ProcessStats> parseProcStatus(const QByteArray& status);

} // namespace murmeli::platform
