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

    /// Writes home/.claude/settings.json.
    static bool writeSettings(const QString& home, const QByteArray& json);

private:
    static QString peerDirectory();
    static QString agentBinary();
};

} // namespace murmeli::test
