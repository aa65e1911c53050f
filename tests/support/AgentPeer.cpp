#include "tests/support/AgentPeer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace murmeli::test {

QString AgentPeer::peerDirectory()
{
    const QString shared = qEnvironmentVariable("MURMELI_SHARED_DIR");
    if (!shared.isEmpty()) {
        return shared + QStringLiteral("/peers/agent");
    }
    return QStringLiteral(MURMELI_SOURCE_DIR "/../shared/peers/agent");
}

QString AgentPeer::agentBinary()
{
    QString cache = qEnvironmentVariable("AGENT_CACHE");
    if (cache.isEmpty()) {
        cache = QDir::homePath() + QStringLiteral("/.cache/agent-peer");
    }
    return cache + QStringLiteral("/node_modules/@anthropic-ai/claude-code-linux-x64/claude");
}

bool AgentPeer::available(QString* whyNot)
{
    const auto fail = [whyNot](const QString& why) {
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
    if (QFileInfo(agentBinary()).isExecutable()) {
        return true;
    }
    // Several test processes may get here at once; one installs, the others wait for it.
    QLockFile lock(QDir::tempPath() + QStringLiteral("/murmeli-agent-peer-install.lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(15 * 60 * 1000)) {
        return fail(QStringLiteral("timed out waiting for another agent install"));
    }
    if (!QFileInfo(agentBinary()).isExecutable()) {
        QTemporaryDir home;
        QTemporaryDir work;
        auto install = run(home.path(), work.path(), QStringLiteral("hello"));
        install->waitForFinished(15 * 60 * 1000);
    }
    if (!QFileInfo(agentBinary()).isExecutable()) {
        return fail(QStringLiteral("the agent could not be installed from the npm registry"));
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
