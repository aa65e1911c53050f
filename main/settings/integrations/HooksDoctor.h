#pragma once

#include <memory>
#include <optional>

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "main/common/Clock.h"
#include "main/hooks/install/HookSelfCheck.h"

namespace murmeli::settings {

/// The Diagnostics card of the Integrations page: runs the same hook self-check as start-up on Claude Code's
/// settings file when asked, and says what the card shows. Main thread only.
class HooksDoctor final {
public:
    /// What the card's badge tells.
    enum class Health {
        NotRun, // no check yet on this page: "—"
        Healthy, // the last check found nothing
        Issues, // the last check found something: "N issues"
    };

    /// One row under the summary for an issue.
    struct IssueRow {
        QString label;
        QString detail;

        bool operator==(const IssueRow&) const = default;
    };

    /// The pause before a check, so "Checking…" is seen even when the check is instant.
    static constexpr qint64 pauseMs = 60;

    /// settingsPath is Claude Code's settings file; the clock times the pause and stamps the check.
    HooksDoctor(QString settingsPath, std::shared_ptr<common::Clock> clock,
        QStringList requiredHooks = hooks::HookSelfCheck::requiredHooks());
    ~HooksDoctor();
    HooksDoctor(const HooksDoctor&) = delete;
    HooksDoctor& operator=(const HooksDoctor&) = delete;

    /// Called after every change of what the card shows.
    std::function<void()> onChanged;

    /// Starts a check unless one is running; it reports through onChanged once done.
    void run();

    bool isRunning() const { return m_running; }
    const hooks::HookSelfCheck::Report& report() const { return m_report; }
    std::optional<QDateTime> lastRunAt() const { return m_lastRunAt; }
    int requiredCount() const { return int(m_requiredHooks.size()); }
    /// Required events with nothing wrong with them (see runningCount(report, required)).
    int runningCount() const { return runningCount(m_report, m_requiredHooks); }
    Health health() const;

    /// "All hooks running (X/M)", or "Hooks running (X/M)" once the last check found an issue.
    QString title() const;
    /// When it last checked, or what the check does before the first one.
    QString subtitle(const QLocale& locale = QLocale::system()) const;
    /// "N issues", "—" or "Healthy".
    QString badgeLabel() const;
    /// "Checking…" while a check runs, else "Re-check".
    QString buttonTitle() const;

    /// The required events that have no issue: none when the file cannot be read or parsed, and each event counted
    /// once however many issues it has.
    static int runningCount(const hooks::HookSelfCheck::Report& report, const QStringList& requiredHooks);
    static IssueRow issueRow(const hooks::HookSelfCheck::Issue& issue);

private:
    QCoro::Task<> check(std::shared_ptr<common::Clock> clock);

    QString m_settingsPath;
    std::shared_ptr<common::Clock> m_clock;
    QStringList m_requiredHooks;
    hooks::HookSelfCheck::Report m_report;
    std::optional<QDateTime> m_lastRunAt;
    bool m_running = false;
    // A check that ends after the doctor is gone must not touch it.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::settings
