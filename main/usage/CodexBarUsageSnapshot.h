#pragma once

#include <optional>

#include <QDateTime>
#include <QString>

#include "main/usage/CodexBarProviderUsage.h"

namespace murmeli::usage {

/// The single usage snapshot that the panel's older usage line and the Lab page's status line read: the first
/// provider of the last poll that gave data.
struct CodexBarUsageSnapshot {
    QString providerID;
    int primaryPercent = 0;
    std::optional<int> secondaryPercent;
    /// When the tool last updated it; the end of the poll when the tool did not say.
    std::optional<QDateTime> lastUpdate;

    bool operator==(const CodexBarUsageSnapshot&) const = default;

    static CodexBarUsageSnapshot from(const CodexBarProviderUsage& usage, const QDateTime& polledAt)
    {
        CodexBarUsageSnapshot snapshot;
        snapshot.providerID = usage.providerID;
        snapshot.primaryPercent = usage.primaryPercent;
        if (usage.secondary) {
            snapshot.secondaryPercent = usage.secondary->usedPercent;
        }
        snapshot.lastUpdate = usage.lastUpdate ? usage.lastUpdate : std::optional<QDateTime>(polledAt);
        return snapshot;
    }
};

} // namespace murmeli::usage
