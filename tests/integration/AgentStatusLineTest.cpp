#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/AgentPeer.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::AgentPeer;
using test::waitUntil;

namespace {

} // namespace

// Only the interactive agent runs its status line, so this one drives it in tmux, on a tmux server of its own
// (a fresh TMUX_TMPDIR) so that the agent inherits this test's environment.
TEST(AgentStatusLineTest, InteractiveSessionIsListedWithItsProjectAndLeavesNoFiles)
{
    QString whyNot;
    if (!AgentPeer::available(&whyNot)) {
        GTEST_SKIP() << whyNot.toStdString();
    }
    if (QStandardPaths::findExecutable(QStringLiteral("tmux")).isEmpty()) {
        GTEST_SKIP() << "tmux is not installed";
    }
    QTemporaryDir root;
    QTemporaryDir home;
    QTemporaryDir work;
    QTemporaryDir tmuxDir;
    const QString statusDir = root.path() + QStringLiteral("/murmeli");

    ASSERT_TRUE(AgentPeer::installHooks(home.path(), QStringLiteral(MURMELI_BINARY)));
    auto secrets = std::make_shared<platform::FakeSecretStore>();
    secrets->save(QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"),
        AgentPeer::hookSecret(home.path()));
    app::AppController controller(test::controllerDependencies(root, secrets, std::make_shared<common::SystemClock>()));
    controller.startBackend(QString());

    QProcessEnvironment agentEnvironment = QProcessEnvironment::systemEnvironment();
    agentEnvironment.insert(QStringLiteral("TMUX_TMPDIR"), tmuxDir.path());
    agentEnvironment.remove(QStringLiteral("TMUX"));
    agentEnvironment.insert(
        QStringLiteral("MURMELI_PORT"), QString::number(test::ControllerProbe::hookServer(controller).port()));
    agentEnvironment.insert(QStringLiteral("MURMELI_STATUS_DIR"), statusDir);
    const auto tmux = [&](const QStringList& arguments) { return AgentPeer::tmux(agentEnvironment, arguments); };
    const qint64 modelPid
        = AgentPeer::startInTmux(agentEnvironment, QStringLiteral("murmeli-test"), home.path(), work.path());
    ASSERT_GT(modelPid, 0);
    const auto cleanup = qScopeGuard([&] {
        tmux({ QStringLiteral("kill-server") });
        if (modelPid > 0) {
            QProcess::execute(QStringLiteral("kill"), { QString::number(modelPid) });
        }
    });

    // The status line runs as soon as the agent is up; its file carries the working directory.
    const auto& sessions = test::ControllerProbe::sessionRegistry(controller).sessions();
    QString key;
    ASSERT_TRUE(waitUntil(
        [&] {
            controller.sessions().syncSessions();
            for (const auto& s : sessions) {
                if (QFileInfo::exists(statusDir + QLatin1Char('/') + s.sid8.text() + QStringLiteral("-status.json"))) {
                    key = s.sid8.text();
                    return true;
                }
            }
            return false;
        },
        60000))
        << tmux({ QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"),
                    QStringLiteral("murmeli-test") })
               .toStdString();
    const auto status = hooks::ClaudeStatus::read(key, statusDir);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->project, QFileInfo(work.path()).fileName());
    EXPECT_FALSE(status->model.isEmpty());
    EXPECT_TRUE(tmux(
        { QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"), QStringLiteral("murmeli-test") })
                    .contains(QStringLiteral("murmeli")));

    const QString marker = work.path() + QStringLiteral("/marker");
    // Typing before the input box is up loses the keys.
    const auto screen = [&] {
        return tmux({ QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"),
            QStringLiteral("murmeli-test") });
    };
    ASSERT_TRUE(waitUntil([&] { return screen().contains(QStringLiteral("\u276F")); }, 60000))
        << screen().toStdString();
    // The text first, Enter once it shows: sent together, the Enter can be taken as part of a paste.
    tmux({ QStringLiteral("send-keys"), QStringLiteral("-t"), QStringLiteral("murmeli-test"),
        QStringLiteral("RUNBASH: touch ") + marker });
    ASSERT_TRUE(waitUntil([&] { return screen().contains(marker); }, 30000)) << screen().toStdString();
    tmux(
        { QStringLiteral("send-keys"), QStringLiteral("-t"), QStringLiteral("murmeli-test"), QStringLiteral("Enter") });
    ASSERT_TRUE(waitUntil(
        [&] { return QFileInfo::exists(statusDir + QLatin1Char('/') + key + QStringLiteral("-activity.json")); },
        60000))
        << tmux({ QStringLiteral("capture-pane"), QStringLiteral("-p"), QStringLiteral("-t"),
                    QStringLiteral("murmeli-test") })
               .toStdString();
    EXPECT_TRUE(QFileInfo::exists(statusDir + QLatin1Char('/') + key + QStringLiteral("-transcript-path.txt")));

    // Leaving the agent ends the session: its files go.
    tmux({ QStringLiteral("send-keys"), QStringLiteral("-t"), QStringLiteral("murmeli-test"), QStringLiteral("/exit"),
        QStringLiteral("Enter") });
    EXPECT_TRUE(waitUntil(
        [&] { return QDir(statusDir).entryList({ key + QStringLiteral("-*") }, QDir::Files).isEmpty(); }, 30000))
        << QDir(statusDir).entryList().join(QLatin1Char(' ')).toStdString();
}
