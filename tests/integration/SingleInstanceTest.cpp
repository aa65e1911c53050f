// The real murmeli started as a user's day starts it: from the desktop session, which has a runtime folder, and from
// ssh, `su -`, cron or a service, which have none. Each runs offscreen and, where one can be had, in a network
// namespace of its own, so that none takes the hook port from the other tests.

#include <gtest/gtest.h>

#include <array>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "tests/support/Wait.h"

using murmeli::test::waitUntil;

namespace {

void launch(QProcess& murmeli, const QProcessEnvironment& environment, const QStringList& arguments = {})
{
    static const bool ownNetwork
        = QProcess::execute(QStringLiteral("unshare"), { QStringLiteral("--net"), QStringLiteral("true") }) == 0;
    murmeli.setProcessEnvironment(environment);
    if (ownNetwork) {
        murmeli.start(QStringLiteral("unshare"), QStringList { QStringLiteral("--net"), MURMELI_BINARY } + arguments);
    } else {
        murmeli.start(QStringLiteral(MURMELI_BINARY), arguments);
    }
}

void stop(QProcess& murmeli)
{
    murmeli.terminate();
    if (!murmeli.waitForFinished(15000)) {
        murmeli.kill();
        murmeli.waitForFinished(5000);
    }
}

} // namespace

// Whichever start comes first or whether both come at once, and whatever home the second start has (another, or
// none), exactly one murmeli runs; the other hands over to it (its settings window comes forward), says so and ends
// with 0; and a setting the user made survives both.
TEST(SingleInstanceTest, OneMurmeliRunsPerUserWhateverEachStartsEnvironment)
{
    enum class Home { Same, Other, None };
    struct Row {
        bool firstFromDesktop;
        bool secondFromDesktop;
        bool atOnce;
        Home secondHome = Home::Same;
    };
    std::vector<Row> rows { { true, false, false }, { false, true, false }, { false, false, false, Home::Other },
        { true, false, false, Home::None } };
    for (int pair = 0; pair < 10; ++pair) {
        rows.push_back({ pair % 3 != 1, pair % 3 == 0, true });
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(QStringLiteral("%1 from the %2, the other from the %3%4")
                         .arg(row.atOnce ? QStringLiteral("both at once, one") : QStringLiteral("first"),
                             row.firstFromDesktop ? QStringLiteral("desktop") : QStringLiteral("shell"),
                             row.secondFromDesktop ? QStringLiteral("desktop") : QStringLiteral("shell"),
                             row.secondHome == Home::Other      ? QStringLiteral(" with another home")
                                 : row.secondHome == Home::None ? QStringLiteral(" without a home")
                                                                : QString())
                         .toStdString());
        QTemporaryDir home;
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral(".config/murmeli")));
        ASSERT_TRUE(
            QDir().mkdir(home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString defaultsPath = home.filePath(QStringLiteral(".config/murmeli/defaults.json"));
        QFile defaults(defaultsPath);
        ASSERT_TRUE(defaults.open(QIODevice::WriteOnly)
            && defaults.write(R"({"onboarding.v1.completed": true, "settings.voice.aiOptimization": false})") > 0);
        defaults.close();

        QProcessEnvironment shell = QProcessEnvironment::systemEnvironment();
        shell.insert(QStringLiteral("HOME"), home.path());
        shell.remove(QStringLiteral("XDG_CONFIG_HOME"));
        shell.remove(QStringLiteral("XDG_DATA_HOME"));
        shell.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        shell.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        shell.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
        // The lock every start of the user finds, kept apart from the tester's own murmeli.
        QTemporaryDir user;
        shell.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), user.path());
        QProcessEnvironment desktop = shell;
        desktop.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
        QProcessEnvironment second = row.secondFromDesktop ? desktop : shell;
        QTemporaryDir otherHome;
        if (row.secondHome == Home::Other) {
            second.insert(QStringLiteral("HOME"), otherHome.path());
        } else if (row.secondHome == Home::None) {
            second.remove(QStringLiteral("HOME"));
            // Should it run after all, its files stay in the test's folders.
            second.insert(QStringLiteral("XDG_CONFIG_HOME"), otherHome.filePath(QStringLiteral("config")));
            second.insert(QStringLiteral("XDG_DATA_HOME"), otherHome.filePath(QStringLiteral("data")));
        }

        std::array<QProcess, 2> starts;
        std::array<QByteArray, 2> logs;
        const auto cleanup = qScopeGuard([&] {
            for (QProcess& start : starts) {
                stop(start);
            }
        });
        const auto log
            = [&](int which) { return QString::fromUtf8(logs[which] += starts[which].readAllStandardError()); };
        launch(starts[0], row.firstFromDesktop ? desktop : shell);
        if (!row.atOnce) {
            ASSERT_TRUE(waitUntil([&] { return log(0).contains(QStringLiteral("murmeli ready")); }, 30000))
                << log(0).toStdString();
        }
        launch(starts[1], second);

        const auto ended = [&](int which) { return starts[which].state() == QProcess::NotRunning; };
        ASSERT_TRUE(waitUntil([&] { return ended(0) || ended(1); }, 30000)) << "both run";
        const int gone = ended(0) ? 0 : 1;
        const int running = 1 - gone;
        EXPECT_TRUE(row.atOnce || gone == 1);
        EXPECT_EQ(starts[gone].exitCode(), 0) << log(gone).toStdString();
        EXPECT_TRUE(log(gone).isEmpty()) << "the hand-over says one line, and nothing else: "
                                         << log(gone).toStdString();
        EXPECT_EQ(starts[gone].readAllStandardOutput().toStdString(),
            "murmeli is already running; asked it to show its settings window\n");
        EXPECT_TRUE(
            waitUntil([&] { return log(running).contains(QStringLiteral("murmeli was started again")); }, 20000))
            << log(running).toStdString();
        EXPECT_FALSE(ended(running)) << log(running).toStdString();

        // What asks nothing of murmeli itself is never held up by the one running.
        QProcess version;
        launch(version, second, { QStringLiteral("--version") });
        EXPECT_TRUE(version.waitForFinished(10000) && version.exitCode() == 0);

        stop(starts[running]);
        ASSERT_TRUE(defaults.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(defaults.readAll()).object();
        defaults.close();
        EXPECT_EQ(stored.value(QStringLiteral("settings.voice.aiOptimization")), QJsonValue(false));
        if (HasFailure()) {
            return;
        }
    }
}
