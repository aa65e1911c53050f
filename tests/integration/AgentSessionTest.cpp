#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include "main/app/AppController.h"
#include "main/hooks/events/HookEventManifest.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/AgentPeer.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::AgentPeer;
using test::waitUntil;

namespace {

// Every event the installer registers, each posted to murmeli by a plain command; the permission hook prints
// murmeli's reply so the agent follows it.
QByteArray settingsFor(quint16 port)
{
    QJsonObject hooks;
    for (const hooks::HookEventDescriptor& row : hooks::HookEventManifest::all()) {
        if (!row.requiresInstallHooks) {
            continue;
        }
        const QString name = hooks::toString(row.name);
        const QString command
            = QStringLiteral("curl -s --max-time 60 -X POST --data-binary @- http://127.0.0.1:%1/hook/%2")
                  .arg(port)
                  .arg(name)
            + (row.requiresAsyncResponse ? QString() : QStringLiteral(" >/dev/null"));
        QJsonObject entry { { QStringLiteral("hooks"),
            QJsonArray { QJsonObject { { QStringLiteral("type"), QStringLiteral("command") },
                { QStringLiteral("command"), command }, { QStringLiteral("timeout"), 60 } } } } };
        if (row.matcher) {
            entry.insert(QStringLiteral("matcher"), *row.matcher);
        }
        hooks.insert(name, QJsonArray { entry });
    }
    return QJsonDocument(QJsonObject { { QStringLiteral("hooks"), hooks } }).toJson();
}

QJsonObject readJson(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

} // namespace

TEST(AgentSessionTest, RunningSessionIsListedAndItsFilesComeAndGo)
{
    QString whyNot;
    if (!AgentPeer::available(&whyNot)) {
        GTEST_SKIP() << whyNot.toStdString();
    }
    QTemporaryDir root;
    QTemporaryDir home;
    QTemporaryDir work;
    const QString statusDir = root.path() + QStringLiteral("/murmeli");
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    QStringList lines;
    controller.onLog = [&](const QString& message, common::LogColor) { lines << message; };
    // The session's files are gone after SessionEnd, so what the tool use wrote is caught as it happens.
    QJsonObject activity;
    QString key;
    controller.sessions().onStatusChange = [&] {
        if (!key.isEmpty() && activity.isEmpty()) {
            activity = readJson(statusDir + QLatin1Char('/') + key + QStringLiteral("-activity.json"));
        }
    };
    controller.startBackend(QString());
    ASSERT_TRUE(
        AgentPeer::writeSettings(home.path(), settingsFor(test::ControllerProbe::hookServer(controller).port())));

    // Named from the agent's folder, so that the activity's short preview holds all of it wherever that folder is.
    const QString command = QStringLiteral("touch marker");
    const QString marker = work.path() + QStringLiteral("/marker");
    auto agent = AgentPeer::run(home.path(), work.path(), QStringLiteral("RUNBASH: ") + command);
    // The held permission request keeps the session running while we look at it.
    ASSERT_TRUE(waitUntil([&] { return test::ControllerProbe::pendingTable(controller).hasActive(); }, 120000))
        << QString::fromUtf8(agent->readAll()).toStdString();
    const hooks::ApprovalRequest request = *test::ControllerProbe::pendingTable(controller).activeRequest();
    key = request.sessionId;
    ASSERT_EQ(key.size(), 8);

    const auto& sessions = test::ControllerProbe::sessionRegistry(controller).sessions();
    ASSERT_TRUE(std::any_of(sessions.begin(), sessions.end(), [&](const auto& s) { return s.sid8.text() == key; }));
    EXPECT_TRUE(lines.filter(QStringLiteral("Sessions: ")).join(QLatin1Char('\n')).contains(key));
    QFile transcriptPath(statusDir + QLatin1Char('/') + key + QStringLiteral("-transcript-path.txt"));
    ASSERT_TRUE(transcriptPath.open(QIODevice::ReadOnly));
    const QString transcript = QString::fromUtf8(transcriptPath.readAll());
    EXPECT_TRUE(transcript.startsWith(home.path())) << transcript.toStdString();
    EXPECT_TRUE(transcript.endsWith(QStringLiteral(".jsonl")));
    transcriptPath.close();

    test::ControllerProbe::pendingTable(controller)
        .resolve(request.toolUseId, hooks::ApprovalDecision::allow(hooks::PermissionScope::Once));
    ASSERT_TRUE(waitUntil([&] { return agent->state() == QProcess::NotRunning; }, 120000));
    EXPECT_TRUE(QFileInfo::exists(marker));

    EXPECT_EQ(activity.value(QStringLiteral("tool")).toString(), QStringLiteral("Bash"));
    EXPECT_EQ(activity.value(QStringLiteral("activity")).toString(), command);
    EXPECT_EQ(activity.value(QStringLiteral("project")).toString(), QFileInfo(work.path()).fileName());
    EXPECT_EQ(activity.value(QStringLiteral("session")).toString(), key);

    // SessionEnd removed the session's files and its entry.
    ASSERT_TRUE(waitUntil(
        [&] { return QDir(statusDir).entryList({ key + QStringLiteral("-*") }, QDir::Files).isEmpty(); }, 10000))
        << QDir(statusDir).entryList().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(std::none_of(sessions.begin(), sessions.end(), [&](const auto& s) { return s.sid8.text() == key; }));
}
