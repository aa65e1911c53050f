#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

// Every command a person may type, run as the real executable: the ones that exist do their work; a mistyped one names
// the wrong word or the missing argument on standard error, above the usage, ends with 64 and starts nothing. The home
// has not been through onboarding, so a murmeli that did start would wait there and take no port.
TEST(CommandLineTest, AMistypedCommandSaysWhatIsWrongAndStartsNothing)
{
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkdir(QStringLiteral("run")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("run")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString openClaw = home.filePath(QStringLiteral("openclaw.json"));
    struct Row {
        QStringList arguments;
        int status;
        QString names; // in the first line of standard error, or at the start of standard output
    };
    const Row rows[] = {
        { { "--verison" }, 64, "--verison" },
        { { "bogus" }, 64, "bogus" },
        { { "settings", "--bogus" }, 64, "--bogus" },
        { { "say" }, 64, "TEXT" },
        { { "device" }, 64, "device" },
        { { "device", "console", "--timeout" }, 64, "SECONDS" },
        { { "device", "console", "--timeout", "soon" }, 64, "soon" },
        { { "hooks", "install", "--agent", "codex" }, 64, "--hooks-dir" },
        { { "hooks", "secret", "again" }, 64, "again" },
        { { "--help" }, 0, "usage: murmeli" },
        { { "--version" }, 0, "murmeli 0." },
        { { "hooks", "install", "--settings", openClaw, "--agent", "openclaw" }, 0, "murmeli: " },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(QLatin1Char(' ')).toStdString());
        QProcess murmeli;
        murmeli.setProcessEnvironment(environment);
        murmeli.start(QStringLiteral(MURMELI_BINARY), row.arguments);
        const bool ended = murmeli.waitForFinished(10000);
        murmeli.kill();
        murmeli.waitForFinished(5000);
        const QString out = QString::fromLocal8Bit(murmeli.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(murmeli.readAllStandardError());
        ASSERT_TRUE(ended) << "murmeli started";
        EXPECT_EQ(murmeli.exitCode(), row.status) << err.toStdString();
        if (row.status == 0) {
            EXPECT_TRUE(out.startsWith(row.names)) << out.toStdString();
            continue;
        }
        const QString first = err.section(QLatin1Char('\n'), 0, 0);
        EXPECT_TRUE(first.startsWith(QLatin1String("murmeli: ")) && first.contains(row.names)) << err.toStdString();
        EXPECT_TRUE(err.contains(QLatin1String("\nusage: murmeli")) && out.isEmpty()) << err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(home.filePath(QStringLiteral("run/murmeli-control"))));
    }
}
