#include "main/hooks/terminals/TerminalTeleporters.h"

#include <utility>

#include "main/common/OffThread.h"

namespace murmeli::hooks {

namespace {

using AppleScriptRunner::Outcome;

// The backslash goes first, so the backslash put before a quote is not doubled again and no needle can close the
// literal early.
QString escaped(const std::optional<QString>& needle)
{
    QString text = needle.value_or(QString());
    text.replace(u'\\', QStringLiteral("\\\\"));
    text.replace(u'"', QStringLiteral("\\\""));
    return text;
}

QString literalLine(const QString& indentAndSet, const QString& escapedNeedle)
{
    return indentAndSet + u'"' + escapedNeedle + u'"';
}

QString activateScript(const QString& application)
{
    return QStringLiteral("tell application \"%1\" to activate").arg(application);
}

QString itermSearchScript(const QString& needle)
{
    return QStringList {
        QStringLiteral("tell application \"iTerm\""),
        QStringLiteral("    if not (it is running) then return \"no\""),
        literalLine(QStringLiteral("    set needle to "), needle),
        QStringLiteral("    repeat with w in windows"),
        QStringLiteral("        set tabIdx to 0"),
        QStringLiteral("        repeat with t in tabs of w"),
        QStringLiteral("            set tabIdx to tabIdx + 1"),
        QStringLiteral("            repeat with s in sessions of t"),
        QStringLiteral("                set ttyVal to \"\""),
        QStringLiteral("                set idVal to \"\""),
        QStringLiteral("                try"),
        QStringLiteral("                    set ttyVal to (tty of s as text)"),
        QStringLiteral("                end try"),
        QStringLiteral("                try"),
        QStringLiteral("                    set idVal to (unique id of s as text)"),
        QStringLiteral("                end try"),
        QStringLiteral("                if (ttyVal contains needle) or (idVal contains needle) or "
                       "(needle contains ttyVal and ttyVal is not \"\") then"),
        QStringLiteral("                    tell w to select tab tabIdx"),
        QStringLiteral("                    activate"),
        QStringLiteral("                    return \"ok\""),
        QStringLiteral("                end if"),
        QStringLiteral("            end repeat"),
        QStringLiteral("        end repeat"),
        QStringLiteral("    end repeat"),
        QStringLiteral("end tell"),
        QStringLiteral("return \"miss\""),
    }
        .join(u'\n');
}

QString terminalSearchScript(const QString& ttyNeedle, const QString& titleNeedle)
{
    return QStringList {
        QStringLiteral("tell application \"Terminal\""),
        QStringLiteral("    if not (it is running) then return \"no\""),
        literalLine(QStringLiteral("    set ttyNeedle to "), ttyNeedle),
        literalLine(QStringLiteral("    set titleNeedle to "), titleNeedle),
        QStringLiteral("    repeat with aWindow in windows"),
        QStringLiteral("        repeat with aTab in tabs of aWindow"),
        QStringLiteral("            set tabTTY to \"\""),
        QStringLiteral("            set tabTitle to \"\""),
        QStringLiteral("            try"),
        QStringLiteral("                set tabTTY to (tty of aTab as text)"),
        QStringLiteral("            end try"),
        QStringLiteral("            try"),
        QStringLiteral("                set tabTitle to (custom title of aTab as text)"),
        QStringLiteral("            end try"),
        QStringLiteral("            set hit to false"),
        QStringLiteral("            if ttyNeedle is not \"\" and tabTTY is not \"\" then"),
        QStringLiteral(
            "                if (tabTTY contains ttyNeedle) or (ttyNeedle contains tabTTY) then set hit to true"),
        QStringLiteral("            end if"),
        QStringLiteral("            if (not hit) and titleNeedle is not \"\" and tabTitle is not \"\" then"),
        QStringLiteral("                if tabTitle contains titleNeedle then set hit to true"),
        QStringLiteral("            end if"),
        QStringLiteral("            if hit then"),
        QStringLiteral("                set selected of aTab to true"),
        QStringLiteral("                set frontmost of aWindow to true"),
        QStringLiteral("                activate"),
        QStringLiteral("                return \"ok\""),
        QStringLiteral("            end if"),
        QStringLiteral("        end repeat"),
        QStringLiteral("    end repeat"),
        QStringLiteral("end tell"),
        QStringLiteral("return \"miss\""),
    }
        .join(u'\n');
}

QString ghosttySearchScript(const QString& sidNeedle, const QString& cwdNeedle, const QString& titleNeedle)
{
    return QStringList {
        QStringLiteral("tell application \"Ghostty\""),
        QStringLiteral("    if not (it is running) then return \"no\""),
        literalLine(QStringLiteral("    set sidNeedle to "), sidNeedle),
        literalLine(QStringLiteral("    set cwdNeedle to "), cwdNeedle),
        literalLine(QStringLiteral("    set titleNeedle to "), titleNeedle),
        QStringLiteral("    repeat with aTerminal in terminals"),
        QStringLiteral("        set tID to \"\""),
        QStringLiteral("        set tDir to \"\""),
        QStringLiteral("        set tTitle to \"\""),
        QStringLiteral("        try"),
        QStringLiteral("            set tID to (id of aTerminal as text)"),
        QStringLiteral("        end try"),
        QStringLiteral("        try"),
        QStringLiteral("            set tDir to (working directory of aTerminal as text)"),
        QStringLiteral("        end try"),
        QStringLiteral("        try"),
        QStringLiteral("            set tTitle to (name of aTerminal as text)"),
        QStringLiteral("        end try"),
        QStringLiteral("        set hit to false"),
        QStringLiteral("        if sidNeedle is not \"\" and tID is not \"\" then"),
        QStringLiteral("            if tID is sidNeedle then set hit to true"),
        QStringLiteral("        end if"),
        QStringLiteral("        if (not hit) and cwdNeedle is not \"\" and tDir is not \"\" then"),
        QStringLiteral("            if (tDir is cwdNeedle) or (tDir contains cwdNeedle) then set hit to true"),
        QStringLiteral("        end if"),
        QStringLiteral("        if (not hit) and titleNeedle is not \"\" and tTitle is not \"\" then"),
        QStringLiteral("            if tTitle contains titleNeedle then set hit to true"),
        QStringLiteral("        end if"),
        QStringLiteral("        if hit then"),
        QStringLiteral("            try"),
        QStringLiteral("                set frontmost of aTerminal to true"),
        QStringLiteral("            end try"),
        QStringLiteral("            activate"),
        QStringLiteral("            return \"ok\""),
        QStringLiteral("        end if"),
        QStringLiteral("    end repeat"),
        QStringLiteral("end tell"),
        QStringLiteral("return \"miss\""),
    }
        .join(u'\n');
}

// Blocks for up to two script runs; only ever called on a worker thread.
TeleportResult jump(platform::ScriptHost* host, const ApplicationRunningProbe& isRunning, const QString& bundleId,
    bool anyNeedle, const QString& searchScript, const QString& activateScript)
{
    if (!host || !isRunning || !isRunning(bundleId)) {
        return TeleportResult::TerminalClosed;
    }
    const auto run = [host](const QString& script) { return AppleScriptRunner::run(*host, script); };
    if (!anyNeedle) {
        return AppleScriptRunner::mapOutcome(run(activateScript));
    }
    const Outcome searched = run(searchScript);
    if (searched.timedOut) {
        // The terminal is stuck; a second script would only wait as long again.
        return TeleportResult::Timeout;
    }
    if (!searched.standardOutput) {
        return AppleScriptRunner::mapOutcome(searched);
    }
    if (*searched.standardOutput == u"ok") {
        return TeleportResult::Success;
    }
    // No tab matched, or the terminal quit meanwhile: bringing the terminal forward is the best we can do.
    return AppleScriptRunner::mapOutcome(run(activateScript));
}

} // namespace

AppleScriptTeleporter::AppleScriptTeleporter(std::shared_ptr<platform::ScriptHost> host) : m_host(std::move(host)) { }

QCoro::Task<TeleportResult> AppleScriptTeleporter::searchThenActivate(
    QString bundleId, bool anyNeedle, QString searchScript, QString activateScript) const
{
    // The worker owns copies of everything: this teleporter may be gone before the scripts end.
    std::function<TeleportResult()> work = [host = m_host, probe = isRunning, bundleId = std::move(bundleId), anyNeedle,
                                               search = std::move(searchScript), activate = std::move(activateScript)] {
        return jump(host.get(), probe, bundleId, anyNeedle, search, activate);
    };
    co_return co_await common::runOffThread(std::move(work));
}

QCoro::Task<TeleportResult> ITermTeleporter::teleport(AgentSession session) const
{
    std::optional<QString> chosen = session.workingDirectory;
    if (session.terminalSessionID) {
        chosen = session.terminalSessionID;
    } else if (session.terminalTTY) {
        chosen = session.terminalTTY;
    }
    const QString needle = escaped(chosen);
    return searchThenActivate(
        QString(bundleId), !needle.isEmpty(), itermSearchScript(needle), activateScript(QStringLiteral("iTerm")));
}

QCoro::Task<TeleportResult> TerminalAppTeleporter::teleport(AgentSession session) const
{
    const QString ttyNeedle = escaped(session.terminalTTY);
    const QString titleNeedle = escaped(session.paneTitle);
    return searchThenActivate(QString(bundleId), !ttyNeedle.isEmpty() || !titleNeedle.isEmpty(),
        terminalSearchScript(ttyNeedle, titleNeedle), activateScript(QStringLiteral("Terminal")));
}

QCoro::Task<TeleportResult> GhosttyTeleporter::teleport(AgentSession session) const
{
    const QString sidNeedle = escaped(session.terminalSessionID);
    const QString cwdNeedle = escaped(session.workingDirectory);
    const QString titleNeedle = escaped(session.paneTitle);
    return searchThenActivate(QString(bundleId), !sidNeedle.isEmpty() || !cwdNeedle.isEmpty() || !titleNeedle.isEmpty(),
        ghosttySearchScript(sidNeedle, cwdNeedle, titleNeedle), activateScript(QStringLiteral("Ghostty")));
}

QCoro::Task<TeleportResult> WarpUnsupportedTeleporter::teleport(AgentSession session) const
{
    Q_UNUSED(session);
    co_return TeleportResult::Unsupported;
}

} // namespace murmeli::hooks
