#pragma once

#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>

namespace murmeli::usage {

/// One provider's plan usage as the usage tool reported it.
struct CodexBarProviderUsage {
    /// One usage window: how much of it is used and when it starts afresh.
    struct WindowMini {
        int usedPercent = 0; // 0 to 100
        std::optional<QDateTime> resetsAt;
        std::optional<QString> resetDescription;

        bool operator==(const WindowMini&) const = default;
    };

    /// A further named window beyond the primary and secondary ones (a per-model quota, say).
    struct ExtraRateWindow {
        QString id;
        QString title;
        WindowMini window;

        bool operator==(const ExtraRateWindow&) const = default;
    };

    QString providerID;
    std::optional<QString> plan;
    int primaryPercent = 0; // per cent of the primary window used, 0 to 100
    std::optional<QDateTime> primaryResetsAt;
    /// The tool's own reset text, or a balance text for a pay-as-you-go provider.
    std::optional<QString> primaryResetDescription;
    std::optional<WindowMini> secondary;
    std::optional<QDateTime> lastUpdate;
    std::optional<std::vector<ExtraRateWindow>> extraRateWindows;

    bool operator==(const CodexBarProviderUsage&) const = default;

    /// A pay-as-you-go provider: nothing of the primary window used, and its description holds a currency sign
    /// (¥ $ £ €) followed, after optional white space, by a digit.
    bool isFinancial() const;

    /// The name shown for a provider id; "—" for an empty id.
    static QString displayName(const QString& providerID);
};

} // namespace murmeli::usage
