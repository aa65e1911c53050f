#include "main/settings/integrations/HooksDoctor.h"

#include <QFileInfo>
#include <QPointer>
#include <QSet>

#include "main/common/ClockSleep.h"
#include "main/hooks/install/AgentAdapter.h"

namespace murmeli::settings {

using hooks::HookSelfCheck::Issue;

namespace {

QString settingsFileName()
{
    return QFileInfo(hooks::AgentAdapters::claudeCode().settings->underTilde()).fileName();
}

// The locale's short time with seconds: the minute alone would not show that a re-check ran.
QString timeWithSeconds(const QTime& time, const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("ss"))) {
        format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    }
    return locale.toString(time, format);
}

} // namespace

HooksDoctor::HooksDoctor(QString settingsPath, std::shared_ptr<common::Clock> clock, QStringList requiredHooks)
    : m_settingsPath(std::move(settingsPath)), m_clock(std::move(clock)), m_requiredHooks(std::move(requiredHooks))
{
}

HooksDoctor::~HooksDoctor() = default;

void HooksDoctor::run()
{
    if (m_running) {
        return;
    }
    m_running = true;
    if (onChanged) {
        onChanged();
    }
    check(m_clock);
}

QCoro::Task<> HooksDoctor::check(std::shared_ptr<common::Clock> clock)
{
    QPointer<QObject> alive = m_lifetime.get();
    co_await common::sleepFor(*clock, pauseMs);
    if (!alive) {
        co_return;
    }
    m_report = hooks::HookSelfCheck::run(m_settingsPath, hooks::HookSelfCheck::existsOnDisk, m_requiredHooks);
    m_lastRunAt = clock->now();
    m_running = false;
    if (onChanged) {
        onChanged();
    }
}

int HooksDoctor::runningCount(const hooks::HookSelfCheck::Report& report, const QStringList& requiredHooks)
{
    QSet<QString> failing;
    for (const Issue& issue : report.issues) {
        if (issue.kind == Issue::Kind::SettingsMissing || issue.kind == Issue::Kind::SettingsUnparseable) {
            return 0;
        }
        failing.insert(issue.event);
    }
    int running = 0;
    for (const QString& event : requiredHooks) {
        running += failing.contains(event) ? 0 : 1;
    }
    return running;
}

HooksDoctor::Health HooksDoctor::health() const
{
    if (m_report.hasIssues()) {
        return Health::Issues;
    }
    return m_lastRunAt ? Health::Healthy : Health::NotRun;
}

QString HooksDoctor::title() const
{
    // With an issue listed under it, the headline gives the count without claiming every hook.
    const QString running
        = m_report.hasIssues() ? QStringLiteral("Hooks running") : QStringLiteral("All hooks running");
    return running + QStringLiteral(" (%1/%2)").arg(runningCount()).arg(requiredCount());
}

QString HooksDoctor::subtitle(const QLocale& locale) const
{
    if (!m_lastRunAt) {
        return QStringLiteral("Verifies ") + hooks::AgentAdapters::claudeCode().settings->underTilde()
            + QStringLiteral(" contains every required murmeli hook entry.");
    }
    return QStringLiteral("Last checked at ") + timeWithSeconds(m_lastRunAt->time(), locale)
        + QStringLiteral(" \u00b7 uses the same self-check as startup (I-194).");
}

QString HooksDoctor::badgeLabel() const
{
    switch (health()) {
    case Health::Issues:
        return QString::number(m_report.issues.size()) + QStringLiteral(" issues");
    case Health::NotRun:
        return QStringLiteral("\u2014");
    case Health::Healthy:
        break;
    }
    return QStringLiteral("Healthy");
}

QString HooksDoctor::buttonTitle() const
{
    return m_running ? QStringLiteral("Checking\u2026") : QStringLiteral("Re-check");
}

HooksDoctor::IssueRow HooksDoctor::issueRow(const Issue& issue)
{
    switch (issue.kind) {
    case Issue::Kind::MissingEvent:
        return { QStringLiteral("Missing: ") + issue.event,
            QStringLiteral("No murmeli hook entry registered. Click Re-install on ")
                + hooks::AgentAdapters::claudeCode().displayName + QStringLiteral(" to fix.") };
    case Issue::Kind::StaleScript:
        return { QStringLiteral("Stale path: ") + issue.event,
            QStringLiteral("Script does not exist at ") + issue.path + QLatin1Char('.') };
    case Issue::Kind::SettingsMissing:
        return { settingsFileName() + QStringLiteral(" missing"),
            QStringLiteral("Run ") + hooks::AgentAdapters::claudeCode().displayName
                + QStringLiteral(" at least once, then re-check. Expected: ") + issue.path };
    case Issue::Kind::SettingsUnparseable:
        break;
    }
    return { settingsFileName() + QStringLiteral(" unparseable"),
        QStringLiteral("Hand-edited or corrupt JSON at ") + issue.path + QLatin1Char('.') };
}

} // namespace murmeli::settings
