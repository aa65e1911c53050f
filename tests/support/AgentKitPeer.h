#pragma once

#include <memory>

#include <QProcess>
#include <QString>
#include <QStringList>

namespace murmeli::test {

/// The other coding agents of the shared peer kit (shared/peers/openai-agents), each run offline against a scripted
/// model. Tests that need one call available() first and skip with its reason when it cannot be had.
class AgentKitPeer final {
public:
    enum class Agent { Codex, Gemini, OpenCode, Qwen, OpenClaw };

    /// Whether the agent can run here; installs it into the kit's cache on first use (serialised across test
    /// processes).
    static bool available(Agent agent, QString* whyNot);

    /// Starts one prompt with the agent's home and working directory; the caller waits for the process.
    static std::unique_ptr<QProcess> run(Agent agent, const QString& home, const QString& work, const QString& prompt,
        const QProcessEnvironment& extraEnvironment = {}, const QStringList& extraArguments = {});

    /// OpenClaw's own command line (its Node and its entry script), for what the kit's runner does not do: its
    /// Gateway and a turn sent through it. Valid once available(Agent::OpenClaw) said yes.
    static QStringList openClawCommand();
    /// The kit's scripted model, run as "python3 <it> PORT".
    static QString modelScript();

    static QString name(Agent agent);
    /// The kit's folder, beside the repository (or below MURMELI_SHARED_DIR).
    static QString kitDirectory();
    /// What the kit's runner installs for the agent and runs (Codex's executable, OpenClaw's entry script, ...).
    static QString installedFile(Agent agent);
};

} // namespace murmeli::test
