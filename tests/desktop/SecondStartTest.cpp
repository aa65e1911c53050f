#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include "tests/desktop/WindowsOf.h"
#include "tests/support/AgentPeer.h"
#include "tests/support/DesktopLock.h"
#include "tests/support/Processes.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

using murmeli::test::AgentPeer;
using murmeli::test::waitUntil;

namespace {

// The key of the session whose status file names work as its folder; empty while there is none.
QString sessionIn(const QString& statusDir, const QString& work)
{
    for (const QString& name : QDir(statusDir).entryList({ QStringLiteral("*-status.json") }, QDir::Files)) {
        QFile file(statusDir + QLatin1Char('/') + name);
        const QJsonObject status
            = file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        if (status.value(QStringLiteral("workspace")).toObject().value(QStringLiteral("current_dir")).toString()
            == work) {
            return name.chopped(int(qstrlen("-status.json")));
        }
    }
    return {};
}

} // namespace

// A user's day: the agent runs (started as usual, without --resume) before murmeli starts. murmeli keeps its session
// and lists it; asking for the usage starts nothing; starting murmeli a second time shows the first one and ends.
TEST(SecondStartTest, ARunningAgentKeepsItsSessionAndASecondMurmeliOnlyShowsTheFirst)
{
    if (const std::optional<QString> missing = murmeli::test::testDesktopMissing()) {
        GTEST_SKIP() << missing->toStdString();
    }
    QString whyNot;
    if (!AgentPeer::available(&whyNot)) {
        GTEST_SKIP() << whyNot.toStdString();
    }
    if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    // The real murmeli grabs the push-to-talk key on this display: no other test may want it meanwhile.
    const murmeli::test::DesktopLock keys(murmeli::test::DesktopLock::keyboardAndClipboard);
    ASSERT_TRUE(keys.isHeld());
    QTemporaryDir home;
    QTemporaryDir work;
    const QString workPath = QFileInfo(work.path()).canonicalFilePath();
    ASSERT_TRUE(AgentPeer::installHooks(home.path(), QStringLiteral(MURMELI_BINARY)));
    ASSERT_TRUE(
        QDir(home.path()).mkpath(QStringLiteral(".config/murmeli")) && QDir(home.path()).mkpath(QStringLiteral("run")));
    QFile defaults(home.path() + QStringLiteral("/.config/murmeli/defaults.json"));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly) && defaults.write(R"({"onboarding.v1.completed": true})") > 0);
    defaults.close();
    QFile::setPermissions(
        home.path() + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The agent's installation stays where the peer put it, outside this home.
    environment.insert(QStringLiteral("AGENT_CACHE"),
        environment.value(QStringLiteral("AGENT_CACHE"), QDir::homePath() + QStringLiteral("/.cache/agent-peer")));
    environment.insert(QStringLiteral("HOME"), home.path());
    // One murmeli runs per user: this one finds its lock apart from any other test's, and the tester's own.
    environment.insert(QStringLiteral("MURMELI_INSTANCE_DIR"), home.filePath(QStringLiteral("instance")));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    // The agent's hooks and murmeli meet in a status folder and on a hook port of their own: the user's own murmeli
    // shows the sessions of /tmp/murmeli and holds 19876.
    const QString statusDir = home.filePath(QStringLiteral("status"));
    ASSERT_TRUE(QDir().mkdir(statusDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    environment.insert(QStringLiteral("MURMELI_STATUS_DIR"), statusDir);
    QTcpServer vacant;
    ASSERT_TRUE(vacant.listen(QHostAddress::LocalHost));
    environment.insert(QStringLiteral("MURMELI_PORT"), QString::number(vacant.serverPort()));
    vacant.close();
    environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path() + QStringLiteral("/run"));
    environment.insert(QStringLiteral("TMUX_TMPDIR"), home.path() + QStringLiteral("/run"));
    environment.remove(QStringLiteral("TMUX"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));

    const QString tmuxSession = QStringLiteral("murmeli-second-start");
    const auto tmux = [&](const QStringList& arguments) { return AgentPeer::tmux(environment, arguments); };
    const qint64 modelPid = AgentPeer::startInTmux(environment, tmuxSession, home.path(), workPath);
    ASSERT_GT(modelPid, 0);
    QProcess first;
    const auto cleanup = qScopeGuard([&] {
        first.terminate();
        if (!first.waitForFinished(10000)) {
            first.kill();
            first.waitForFinished(5000);
        }
        tmux({ QStringLiteral("kill-server") });
        if (modelPid > 0) {
            QProcess::execute(QStringLiteral("kill"), { QString::number(modelPid) });
        }
        // The agent ends on the hang-up in its own time, writing into its home and folder as it goes: it is gone
        // before they are removed, or it would make them again.
        murmeli::test::endProcessesWithHome(home.path());
    });

    // The agent's status line writes the session's file before murmeli runs.
    QString key;
    ASSERT_TRUE(waitUntil([&] { return !(key = sessionIn(statusDir, workPath)).isEmpty(); }, 60000))
        << tmux({ QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"), tmuxSession })
               .toStdString();
    const QString statusFile = statusDir + QLatin1Char('/') + key + QStringLiteral("-status.json");

    QByteArray log;
    first.setProcessEnvironment(environment);
    first.start(QStringLiteral(MURMELI_BINARY), QStringList {});
    ASSERT_TRUE(first.waitForStarted(5000));
    const auto readLog = [&] {
        log += first.readAllStandardError();
        return QString::fromUtf8(log);
    };
    const QRegularExpression listed(QStringLiteral("Sessions: \\d+ active \\[[^\\]]*%1").arg(key));
    ASSERT_TRUE(waitUntil([&] { return readLog().contains(listed); }, 20000)) << readLog().toStdString();

    // The usage is printed and nothing starts.
    QProcess help;
    help.setProcessEnvironment(environment);
    help.start(QStringLiteral(MURMELI_BINARY), { QStringLiteral("--help") });
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().startsWith("usage: murmeli"));

    // A second murmeli hands over and ends; the first brings its window forward.
    EXPECT_TRUE(murmeli::test::windowsOf(first.processId(), QStringLiteral("^Settings$")).isEmpty());
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(QStringLiteral(MURMELI_BINARY), QStringList {});
    ASSERT_TRUE(second.waitForFinished(10000));
    const QString secondOutput = QString::fromUtf8(second.readAll());
    EXPECT_EQ(second.exitCode(), 0) << secondOutput.toStdString();
    EXPECT_FALSE(
        secondOutput.contains(QStringLiteral("HookServer")) || secondOutput.contains(QStringLiteral("murmeli ready")))
        << secondOutput.toStdString();
    EXPECT_TRUE(secondOutput.contains(QStringLiteral("murmeli is already running"))) << secondOutput.toStdString();
    EXPECT_TRUE(waitUntil(
        [&] { return murmeli::test::windowsOf(first.processId(), QStringLiteral("^Settings$")).size() == 1; }, 20000));
    EXPECT_TRUE(waitUntil([&] { return readLog().contains(QStringLiteral("murmeli was started again")); }, 5000));
    EXPECT_EQ(first.state(), QProcess::Running);

    // The session lived through both starts: its file is there and murmeli never let it go.
    EXPECT_TRUE(QFileInfo::exists(statusFile));
    EXPECT_FALSE(readLog().contains(QStringLiteral("Sessions: 0 active"))) << readLog().toStdString();
}
