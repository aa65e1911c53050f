#pragma once

#include <memory>

#include <QProcess>
#include <QString>

namespace murmeli::test {

/// The real coding agent, run offline against a scripted model (shared/peers/agent). Tests that need it call
/// available() first and skip with its reason when it cannot be had.
class AgentPeer final {
public:
    /// Whether the agent can run here; installs it on first use (serialised across test processes).
    static bool available(QString* whyNot);

    /// Starts one prompt in the given home and working directory; the caller waits for the process.
    static std::unique_ptr<QProcess> run(const QString& home, const QString& work, const QString& prompt,
        const QProcessEnvironment& extraEnvironment = {});

    /// Starts the agent interactively in the detached tmux session named session (the peer's start-agent-tmux), with
    /// the environment and any extra agent arguments; the scripted model's pid, or 0 when it did not start.
    static qint64 startInTmux(const QProcessEnvironment& environment, const QString& session, const QString& home,
        const QString& work, const QStringList& extraArguments = {});
    /// Runs tmux with the arguments in the environment and returns what it printed.
    static QString tmux(const QProcessEnvironment& environment, const QStringList& arguments);

    /// Writes home/.claude/settings.json.
    static bool writeSettings(const QString& home, const QByteArray& json);

    /// Installs murmeli's hooks for the given executable into home with the installer script, the hook secret kept
    /// in a file there; true when the installer succeeded.
    static bool installHooks(const QString& home, const QString& murmeliBinary);
    /// The hook secret the installer stored in home.
    static QByteArray hookSecret(const QString& home);

    /// The kit's folder: beside the repository, or under MURMELI_SHARED_DIR.
    static QString peerDirectory();

private:
    static QString cacheDirectory();
    static QString agentBinary();
};

} // namespace murmeli::test
