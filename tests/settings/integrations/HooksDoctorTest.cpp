#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "main/settings/integrations/HooksDoctor.h"
#include "tests/support/FakeClock.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::HookSelfCheck::Issue;
using hooks::HookSelfCheck::Report;
using settings::HooksDoctor;

TEST(HooksDoctorTest, RunningCountCountsEventsNotIssues)
{
    const QStringList required { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") };
    struct Case {
        const char* name;
        Report report;
        int running;
    };
    const std::vector<Case> cases {
        { "healthy", {}, 3 },
        { "one missing", { { Issue::missingEvent(QStringLiteral("B")) } }, 2 },
        { "two stale scripts of one event",
            { { Issue::staleScript(QStringLiteral("A"), QStringLiteral("/x")),
                Issue::staleScript(QStringLiteral("A"), QStringLiteral("/y")) } },
            2 },
        { "more issues than events",
            { { Issue::missingEvent(QStringLiteral("A")), Issue::staleScript(QStringLiteral("B"), QStringLiteral("/x")),
                Issue::staleScript(QStringLiteral("B"), QStringLiteral("/y")),
                Issue::missingEvent(QStringLiteral("C")) } },
            0 },
        { "settings missing", { { Issue::settingsMissing(QStringLiteral("/s")) } }, 0 },
        { "settings unparseable", { { Issue::settingsUnparseable(QStringLiteral("/s")) } }, 0 },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HooksDoctor::runningCount(c.report, required), c.running) << c.name;
    }
}

TEST(HooksDoctorTest, ACheckRunsOnceAfterItsPauseAndTheCardFollows)
{
    QTemporaryDir home;
    const QString settings = home.path() + QStringLiteral("/settings.json");
    auto clock = std::make_shared<test::FakeClock>();
    HooksDoctor doctor(settings, clock, { QStringLiteral("Stop"), QStringLiteral("SessionEnd") });
    int changes = 0;
    doctor.onChanged = [&] { ++changes; };
    EXPECT_EQ(doctor.health(), HooksDoctor::Health::NotRun);
    EXPECT_EQ(doctor.badgeLabel(), QStringLiteral("\u2014"));
    EXPECT_TRUE(doctor.subtitle().startsWith(QStringLiteral("Verifies ~/.claude/settings.json")));

    doctor.run();
    doctor.run();
    EXPECT_TRUE(doctor.isRunning());
    EXPECT_EQ(doctor.buttonTitle(), QStringLiteral("Checking\u2026"));
    clock->advance(HooksDoctor::pauseMs - 1);
    EXPECT_TRUE(doctor.isRunning());
    clock->advance(1);
    ASSERT_TRUE(test::waitUntil([&] { return !doctor.isRunning(); }));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(doctor.title().toStdString(), "Hooks running (0/2)");
    EXPECT_EQ(doctor.badgeLabel(), QStringLiteral("1 issues"));
    EXPECT_EQ(HooksDoctor::issueRow(doctor.report().issues.front()).label, QStringLiteral("settings.json missing"));
    EXPECT_EQ(doctor.lastRunAt(), clock->now());
    EXPECT_TRUE(doctor.subtitle().startsWith(QStringLiteral("Last checked at ")));

    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"hooks": {"Stop": [{"hooks": [{"type": "command", "command": "/bin/true murmeli"}]}]}})");
    file.close();
    doctor.run();
    clock->advance(HooksDoctor::pauseMs);
    ASSERT_TRUE(test::waitUntil([&] { return !doctor.isRunning(); }));
    // With an issue listed under it, the headline claims no more than the count.
    EXPECT_EQ(doctor.title().toStdString(), "Hooks running (1/2)");
    EXPECT_EQ(HooksDoctor::issueRow(doctor.report().issues.front()),
        (HooksDoctor::IssueRow { QStringLiteral("Missing: SessionEnd"),
            QStringLiteral("No murmeli hook entry registered. Click Re-install on Claude Code to fix.") }));

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"hooks": {"Stop": [{"command": "/bin/true murmeli"}], "SessionEnd": [{"command": "/bin/true murmeli"}]}})");
    file.close();
    doctor.run();
    clock->advance(HooksDoctor::pauseMs);
    ASSERT_TRUE(test::waitUntil([&] { return !doctor.isRunning(); }));
    EXPECT_EQ(doctor.title().toStdString(), "All hooks running (2/2)");
    EXPECT_EQ(doctor.badgeLabel(), QStringLiteral("Healthy"));
}
