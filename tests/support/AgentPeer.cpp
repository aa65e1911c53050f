#include "tests/support/AgentPeer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "tests/support/PeerInstallLock.h"

namespace murmeli::test {

QString AgentPeer::peerDirectory()
{
    const QString shared = qEnvironmentVariable("MURMELI_SHARED_DIR");
    if (!shared.isEmpty()) {
        return shared + QStringLiteral("/peers/agent");
    }
    return QStringLiteral(MURMELI_SOURCE_DIR "/../shared/peers/agent");
}

QString AgentPeer::cacheDirectory()
{
    const QString cache = qEnvironmentVariable("AGENT_CACHE");
    return cache.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache/agent-peer") : cache;
}

QString AgentPeer::agentBinary()
{
    return cacheDirectory() + QStringLiteral("/node_modules/@anthropic-ai/claude-code-linux-x64/claude");
}

bool AgentPeer::available(QString* whyNot)
{
    const auto fail = [whyNot](const QString& why) {
        // CI installs the agents (scripts/setup, scripts/agents): there an agent that cannot be had is a fault, not a
        // reason to skip. Only a checkout without the peers beside it has none to run.
        if (qEnvironmentVariableIsSet("MURMELI_CI") && !why.contains(QStringLiteral("beside the repository"))) {
            ADD_FAILURE() << "under CI the agent must run: " << why.toStdString();
        }
        if (whyNot) {
            *whyNot = why;
        }
        return false;
    };
    if (!QFileInfo(peerDirectory() + QStringLiteral("/run-agent")).isFile()) {
        return fail(QStringLiteral("the agent peer is not beside the repository"));
    }
    if (QStandardPaths::findExecutable(QStringLiteral("npm")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
        return fail(QStringLiteral("npm or curl is not installed"));
    }
    // The kit's own script installs on first use, under the lock that peerToolInstalled() waits for.
    QString lockWhyNot;
    if (peerToolInstalled(cacheDirectory(), agentBinary(), &lockWhyNot)) {
        return true;
    }
    if (!lockWhyNot.isEmpty()) {
        return fail(lockWhyNot);
    }
    QTemporaryDir home;
    QTemporaryDir work;
    auto install = run(home.path(), work.path(), QStringLiteral("hello"));
    install->waitForFinished(20 * 60 * 1000);
    if (!peerToolInstalled(cacheDirectory(), agentBinary(), &lockWhyNot)) {
        return fail(lockWhyNot.isEmpty()
                ? QStringLiteral("the agent could not be installed from the npm registry: ")
                    + QString::fromUtf8(install->readAll().right(400))
                : lockWhyNot);
    }
    return true;
}

std::unique_ptr<QProcess> AgentPeer::run(
    const QString& home, const QString& work, const QString& prompt, const QProcessEnvironment& extraEnvironment)
{
    auto process = std::make_unique<QProcess>();
    if (!extraEnvironment.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(extraEnvironment);
        process->setProcessEnvironment(environment);
    }
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral("/bin/bash"), { peerDirectory() + QStringLiteral("/run-agent"), home, work, prompt });
    return process;
}

bool AgentPeer::writeSettings(const QString& home, const QByteArray& json)
{
    if (!QDir().mkpath(home + QStringLiteral("/.claude"))) {
        return false;
    }
    QFile file(home + QStringLiteral("/.claude/settings.json"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size();
}

qint64 AgentPeer::startInTmux(const QProcessEnvironment& environment, const QString& session, const QString& home,
    const QString& work, const QStringList& extraArguments)
{
    QProcess starter;
    starter.setProcessEnvironment(environment);
    starter.start(QStringLiteral("/bin/bash"),
        QStringList { peerDirectory() + QStringLiteral("/start-agent-tmux"), session, home, work } + extraArguments);
    if (!starter.waitForFinished(120000) || starter.exitStatus() != QProcess::NormalExit || starter.exitCode() != 0) {
        return 0;
    }
    return starter.readAllStandardOutput().trimmed().toLongLong();
}

QString AgentPeer::tmux(const QProcessEnvironment& environment, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("tmux"), arguments);
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool AgentPeer::installHooks(const QString& home, const QString& murmeliBinary)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.insert(QStringLiteral("MURMELI_SECRETS_BACKEND"), QStringLiteral("file"));
    environment.insert(QStringLiteral("MURMELI_BIN"), murmeliBinary);
    QProcess installer;
    installer.setProcessEnvironment(environment);
    installer.start(
        QStringLiteral("/bin/bash"), { QStringLiteral(MURMELI_SOURCE_DIR "/Resources/scripts/install-hooks.sh") });
    return installer.waitForFinished(60000) && installer.exitStatus() == QProcess::NormalExit
        && installer.exitCode() == 0;
}

QByteArray AgentPeer::hookSecret(const QString& home)
{
    QFile file(home + QStringLiteral("/.local/share/murmeli/hooks/hook-secret"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace murmeli::test
