#include <deque>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <QFileInfo>
#include <QStringList>
#include <QThread>

#include <QCoroTask>
#include <gtest/gtest.h>

#include "main/common/ProcessRunner.h"
#include "main/hooks/terminals/AppleScriptRunner.h"
#include "main/hooks/terminals/TeleportTargetResolver.h"
#include "main/hooks/terminals/TeleportTypes.h"
#include "main/hooks/terminals/TerminalTeleporters.h"

namespace murmeli::hooks {
namespace {

using AppleScriptRunner::Outcome;

Outcome outcome(std::optional<QString> standardOutput, const QString& standardError, bool timedOut, int exitCode)
{
    Outcome made;
    made.standardOutput = std::move(standardOutput);
    made.standardError = standardError;
    made.timedOut = timedOut;
    made.exitCode = exitCode;
    return made;
}

Outcome printed(const QString& text)
{
    return outcome(text, "", false, 0);
}

Outcome failed(const QString& error)
{
    return outcome(std::nullopt, error, false, 1);
}

Outcome timedOut()
{
    return outcome(std::nullopt, "timeout", true, -1);
}

// Plays the script host: records each script and which bundle ids were asked about, and answers from a queue
// (a plain successful run once the queue is empty).
class ScriptHost {
public:
    std::vector<QString> scripts;
    std::vector<QString> probed;
    std::deque<Outcome> replies;
    bool running = true;
    QThread* ranOn = nullptr;

    void attach(AppleScriptTeleporter& teleporter)
    {
        teleporter.runner = [this](const QString& script) {
            ranOn = QThread::currentThread();
            scripts.push_back(script);
            if (replies.empty()) {
                return printed("");
            }
            Outcome next = replies.front();
            replies.pop_front();
            return next;
        };
        teleporter.isRunning = [this](const QString& bundleId) {
            probed.push_back(bundleId);
            return running;
        };
    }
};

TeleportResult jump(const TerminalTeleporter& teleporter, AgentSession session)
{
    return QCoro::waitFor(teleporter.teleport(std::move(session)));
}

// A teleporter wired to its own script host.
template <typename Teleporter> struct Rig {
    Rig(std::initializer_list<Outcome> replies = {})
    {
        host.replies = replies;
        host.attach(teleporter);
    }
    TeleportResult jump(AgentSession session) { return hooks::jump(teleporter, std::move(session)); }

    Teleporter teleporter;
    ScriptHost host;
};

QString lineOf(const QString& script, int index)
{
    return script.split(u'\n').value(index);
}

AgentSession sessionWith(std::optional<QString> sessionId, std::optional<QString> tty, std::optional<QString> cwd,
    std::optional<QString> title = std::nullopt)
{
    AgentSession session;
    session.terminalSessionID = std::move(sessionId);
    session.terminalTTY = std::move(tty);
    session.workingDirectory = std::move(cwd);
    session.paneTitle = std::move(title);
    return session;
}

const QString itermSearch = R"(tell application "iTerm"
    if not (it is running) then return "no"
    set needle to "/dev/ttys003"
    repeat with w in windows
        set tabIdx to 0
        repeat with t in tabs of w
            set tabIdx to tabIdx + 1
            repeat with s in sessions of t
                set ttyVal to ""
                set idVal to ""
                try
                    set ttyVal to (tty of s as text)
                end try
                try
                    set idVal to (unique id of s as text)
                end try
                if (ttyVal contains needle) or (idVal contains needle) or )"
                            R"((needle contains ttyVal and ttyVal is not "") then
                    tell w to select tab tabIdx
                    activate
                    return "ok"
                end if
            end repeat
        end repeat
    end repeat
end tell
return "miss")";

const QString terminalSearch = R"(tell application "Terminal"
    if not (it is running) then return "no"
    set ttyNeedle to "/dev/ttys007"
    set titleNeedle to "build"
    repeat with aWindow in windows
        repeat with aTab in tabs of aWindow
            set tabTTY to ""
            set tabTitle to ""
            try
                set tabTTY to (tty of aTab as text)
            end try
            try
                set tabTitle to (custom title of aTab as text)
            end try
            set hit to false
            if ttyNeedle is not "" and tabTTY is not "" then
                if (tabTTY contains ttyNeedle) or (ttyNeedle contains tabTTY) then set hit to true
            end if
            if (not hit) and titleNeedle is not "" and tabTitle is not "" then
                if tabTitle contains titleNeedle then set hit to true
            end if
            if hit then
                set selected of aTab to true
                set frontmost of aWindow to true
                activate
                return "ok"
            end if
        end repeat
    end repeat
end tell
return "miss")";

const QString ghosttySearch = R"(tell application "Ghostty"
    if not (it is running) then return "no"
    set sidNeedle to "term-9"
    set cwdNeedle to "/home/me/app"
    set titleNeedle to ""
    repeat with aTerminal in terminals
        set tID to ""
        set tDir to ""
        set tTitle to ""
        try
            set tID to (id of aTerminal as text)
        end try
        try
            set tDir to (working directory of aTerminal as text)
        end try
        try
            set tTitle to (name of aTerminal as text)
        end try
        set hit to false
        if sidNeedle is not "" and tID is not "" then
            if tID is sidNeedle then set hit to true
        end if
        if (not hit) and cwdNeedle is not "" and tDir is not "" then
            if (tDir is cwdNeedle) or (tDir contains cwdNeedle) then set hit to true
        end if
        if (not hit) and titleNeedle is not "" and tTitle is not "" then
            if tTitle contains titleNeedle then set hit to true
        end if
        if hit then
            try
                set frontmost of aTerminal to true
            end try
            activate
            return "ok"
        end if
    end repeat
end tell
return "miss")";

TEST(TeleportScripts, ITermSearchIsSentExactly)
{
    Rig<ITermTeleporter> iterm { printed("ok") };
    EXPECT_EQ(iterm.jump(sessionWith(std::nullopt, "/dev/ttys003", "/work")), TeleportResult::Success);
    EXPECT_EQ(iterm.host.probed, std::vector<QString> { "com.googlecode.iterm2" });
    ASSERT_EQ(iterm.host.scripts.size(), 1u);
    EXPECT_EQ(iterm.host.scripts[0], itermSearch);
}

TEST(TeleportScripts, TerminalSearchIsSentExactly)
{
    Rig<TerminalAppTeleporter> terminal { printed("ok") };
    EXPECT_EQ(terminal.jump(sessionWith("ignored", "/dev/ttys007", "/ignored", "build")), TeleportResult::Success);
    EXPECT_EQ(terminal.host.probed, std::vector<QString> { "com.apple.Terminal" });
    EXPECT_EQ(terminal.host.scripts, std::vector<QString> { terminalSearch });
}

TEST(TeleportScripts, GhosttySearchIsSentExactly)
{
    Rig<GhosttyTeleporter> ghostty { printed("ok") };
    EXPECT_EQ(ghostty.jump(sessionWith("term-9", "/dev/ignored", "/home/me/app")), TeleportResult::Success);
    EXPECT_EQ(ghostty.host.probed, std::vector<QString> { "com.mitchellh.ghostty" });
    EXPECT_EQ(ghostty.host.scripts, std::vector<QString> { ghosttySearch });
}

TEST(TeleportScripts, ITermNeedleIsSessionIdThenTtyThenDirectory)
{
    const std::vector<std::pair<AgentSession, QString>> cases {
        { sessionWith("w0t1p0:ABC", "/dev/ttys003", "/work"), R"(    set needle to "w0t1p0:ABC")" },
        { sessionWith(std::nullopt, "ttys003", "/work"), R"(    set needle to "ttys003")" },
        { sessionWith(std::nullopt, std::nullopt, "/work"), R"(    set needle to "/work")" },
    };
    for (const auto& [session, needleLine] : cases) {
        Rig<ITermTeleporter> iterm { printed("ok") };
        iterm.jump(session);
        ASSERT_EQ(iterm.host.scripts.size(), 1u);
        EXPECT_EQ(lineOf(iterm.host.scripts[0], 2), needleLine);
    }
}

TEST(TeleportScripts, NeedlesAreEscapedSoTheyCannotEndTheLiteral)
{
    const std::vector<std::pair<QString, QString>> cases {
        { R"(a"b)", R"(    set needle to "a\"b")" },
        { R"(C:\dir)", R"(    set needle to "C:\\dir")" },
        { R"(x\")", R"(    set needle to "x\\\"")" },
        { R"(end\)", R"(    set needle to "end\\")" },
    };
    for (const auto& [needle, line] : cases) {
        SCOPED_TRACE(needle.toStdString());
        Rig<ITermTeleporter> iterm { printed("ok") };
        iterm.jump(sessionWith(needle, std::nullopt, std::nullopt));
        ASSERT_EQ(iterm.host.scripts.size(), 1u);
        EXPECT_EQ(lineOf(iterm.host.scripts[0], 2), line);
    }

    Rig<GhosttyTeleporter> ghostty { printed("ok") };
    ghostty.jump(sessionWith(std::nullopt, std::nullopt, R"(/a"b)", R"(t\"x)"));
    ASSERT_EQ(ghostty.host.scripts.size(), 1u);
    EXPECT_EQ(lineOf(ghostty.host.scripts[0], 3), R"(    set cwdNeedle to "/a\"b")");
    EXPECT_EQ(lineOf(ghostty.host.scripts[0], 4), R"(    set titleNeedle to "t\\\"x")");
}

TEST(TerminalJumpFlow, TerminalNotRunningRunsNoScript)
{
    Rig<GhosttyTeleporter> ghostty;
    ghostty.host.running = false;
    EXPECT_EQ(ghostty.jump(sessionWith("id", "/dev/ttys001", "/work")), TeleportResult::TerminalClosed);
    EXPECT_TRUE(ghostty.host.scripts.empty());
}

TEST(TerminalJumpFlow, NoNeedleOnlyActivatesAndMapsThatOutcome)
{
    Rig<TerminalAppTeleporter> terminal { failed(
        "execution error: Not authorized to send Apple events to Terminal. (-1743)") };
    // The working directory is no needle for Terminal.
    EXPECT_EQ(terminal.jump(sessionWith("id", std::nullopt, "/work", "")), TeleportResult::PermissionDenied);
    EXPECT_EQ(terminal.host.scripts, std::vector<QString> { R"(tell application "Terminal" to activate)" });

    Rig<ITermTeleporter> iterm;
    // An empty session id is chosen over the tty, and an empty needle means no search.
    EXPECT_EQ(iterm.jump(sessionWith("", "/dev/ttys003", "/work")), TeleportResult::Success);
    EXPECT_EQ(iterm.host.scripts, std::vector<QString> { R"(tell application "iTerm" to activate)" });
}

TEST(TerminalJumpFlow, AnyAnswerButOkFallsBackToActivation)
{
    for (const QString& answer : { QString("miss"), QString("OK"), QString("no"), QString("") }) {
        SCOPED_TRACE(answer.toStdString());
        Rig<GhosttyTeleporter> ghostty { printed(answer), printed("") };
        EXPECT_EQ(ghostty.jump(sessionWith(std::nullopt, std::nullopt, "/work")), TeleportResult::Success);
        ASSERT_EQ(ghostty.host.scripts.size(), 2u);
        EXPECT_EQ(ghostty.host.scripts[1], R"(tell application "Ghostty" to activate)");
    }

    Rig<GhosttyTeleporter> ghostty { printed("miss"), failed("Application isn't running. (-600)") };
    EXPECT_EQ(ghostty.jump(sessionWith(std::nullopt, std::nullopt, "/work")), TeleportResult::TerminalClosed);
    EXPECT_EQ(ghostty.host.scripts.size(), 2u);
}

TEST(TerminalJumpFlow, FailedSearchEndsTheJump)
{
    const std::vector<std::pair<Outcome, TeleportResult>> cases {
        { timedOut(), TeleportResult::Timeout },
        { failed("osascript: Not authorized to send Apple events (-1743)"), TeleportResult::PermissionDenied },
        { failed("syntax error"), TeleportResult::TerminalClosed },
    };
    for (const auto& [searched, expected] : cases) {
        Rig<ITermTeleporter> iterm { searched };
        EXPECT_EQ(iterm.jump(sessionWith(std::nullopt, "/dev/ttys003", std::nullopt)), expected);
        EXPECT_EQ(iterm.host.scripts.size(), 1u);
    }
}

TEST(TerminalJumpFlow, ScriptsRunOffTheCallingThread)
{
    Rig<ITermTeleporter> iterm { printed("ok") };
    TeleportResult result = TeleportResult::Unsupported;
    QThread* resumedOn = nullptr;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        result = co_await iterm.teleporter.teleport(sessionWith(std::nullopt, "/dev/ttys003", std::nullopt));
        resumedOn = QThread::currentThread();
    }());
    EXPECT_EQ(result, TeleportResult::Success);
    EXPECT_NE(iterm.host.ranOn, nullptr);
    EXPECT_NE(iterm.host.ranOn, QThread::currentThread());
    EXPECT_EQ(resumedOn, QThread::currentThread());
}

TEST(TerminalJumpFlow, WarpIsAlwaysUnsupported)
{
    WarpUnsupportedTeleporter warp;
    EXPECT_EQ(jump(warp, {}), TeleportResult::Unsupported);
    AgentSession full = sessionWith("id", "/dev/ttys001", "/work", "title");
    full.terminalApp = "Warp";
    EXPECT_EQ(jump(warp, full), TeleportResult::Unsupported);
}

TEST(AppleScriptRunnerMapOutcome, FirstMatchWins)
{
    Outcome both = timedOut();
    both.standardOutput = "ok";
    EXPECT_EQ(AppleScriptRunner::mapOutcome(both), TeleportResult::Timeout);
    // An empty answer with exit status 0 is still an answer.
    EXPECT_EQ(AppleScriptRunner::mapOutcome(printed("")), TeleportResult::Success);

    for (const QString& error : { QString("Not Authorized to send Apple events to iTerm."),
             QString("osascript is NOT ALLOWED ASSISTIVE ACCESS."), QString("errAEEventNotPermitted"),
             QString("execution error: (-1743)") }) {
        SCOPED_TRACE(error.toStdString());
        EXPECT_EQ(AppleScriptRunner::mapOutcome(failed(error)), TeleportResult::PermissionDenied);
    }
    EXPECT_EQ(AppleScriptRunner::mapOutcome(failed("execution error: (-1728)")), TeleportResult::TerminalClosed);
    EXPECT_EQ(AppleScriptRunner::mapOutcome(failed("")), TeleportResult::TerminalClosed);
}

common::ProcessResult runShell(const QString& script, int timeoutMs = 5000)
{
    common::ProcessRequest request;
    request.program = "/bin/sh";
    request.arguments = { "-c", script };
    request.timeout = std::chrono::milliseconds(timeoutMs);
    return common::runProcessBlocking(request);
}

TEST(AppleScriptRunnerOutcome, ReadsAFinishedRun)
{
    const Outcome answered = AppleScriptRunner::outcomeOf(runShell("printf '  ok \\n'; printf warn >&2"));
    EXPECT_EQ(answered.standardOutput, "ok");
    EXPECT_EQ(answered.standardError, "warn");
    EXPECT_EQ(answered.exitCode, 0);
    EXPECT_FALSE(answered.timedOut);

    const Outcome failing = AppleScriptRunner::outcomeOf(runShell("printf half; printf 'not authorized' >&2; exit 2"));
    EXPECT_EQ(failing.standardOutput, std::nullopt);
    EXPECT_EQ(failing.exitCode, 2);
    EXPECT_EQ(AppleScriptRunner::mapOutcome(failing), TeleportResult::PermissionDenied);

    const Outcome garbled = AppleScriptRunner::outcomeOf(runShell("printf 'o\\377k'; printf 'e\\377' >&2"));
    EXPECT_EQ(garbled.standardOutput, std::nullopt);
    EXPECT_EQ(garbled.standardError, "");
    EXPECT_EQ(garbled.exitCode, 0);
}

TEST(AppleScriptRunnerOutcome, TimeOutAndLaunchFailure)
{
    EXPECT_EQ(AppleScriptRunner::outcomeOf(runShell("printf early; exec sleep 30", 200)), timedOut());

    common::ProcessRequest missing;
    missing.program = "/nonexistent/osascript";
    const Outcome notLaunched = AppleScriptRunner::outcomeOf(common::runProcessBlocking(missing));
    EXPECT_FALSE(notLaunched.standardError.isEmpty());
    EXPECT_EQ(notLaunched, outcome(std::nullopt, notLaunched.standardError, false, -1));
}

TEST(AppleScriptRunnerDefault, WithoutAScriptHostTheJumpReportsTerminalClosed)
{
    if (QFileInfo::exists("/usr/bin/osascript")) {
        GTEST_SKIP() << "this machine has a script host";
    }
    const Outcome expected = outcome(std::nullopt, "osascript is not available on this system", false, -1);
    EXPECT_EQ(AppleScriptRunner::run(R"(tell application "System Events" to get name of first process)"), expected);
    EXPECT_EQ(AppleScriptRunner::mapOutcome(expected), TeleportResult::TerminalClosed);

    // Past the running check, the script host's absence ends the jump the same way.
    ITermTeleporter iterm;
    iterm.isRunning = [](const QString&) { return true; };
    EXPECT_EQ(jump(iterm, {}), TeleportResult::TerminalClosed);

    AgentSession session = sessionWith(std::nullopt, "/dev/pts/1", "/work");
    for (const char* name : { "iTerm", "Terminal", "Ghostty" }) {
        session.terminalApp = name;
        EXPECT_EQ(QCoro::waitFor(TeleportTargetResolver().teleport(session)), TeleportResult::TerminalClosed) << name;
    }
}

// Answers every jump the same way and keeps the session it was given.
class RecordingTeleporter final : public TerminalTeleporter {
public:
    QCoro::Task<TeleportResult> teleport(AgentSession session) const override
    {
        seen.push_back(session);
        co_return TeleportResult::PermissionDenied;
    }

    mutable std::vector<AgentSession> seen;
};

TEST(TeleportTargetResolver, NamesAreTrimmedAndCaseBlind)
{
    const TeleportTargetResolver resolver;
    const std::vector<std::pair<std::optional<QString>, TeleportTargetResolver::Teleporter>> cases {
        { " Ghostty\n", resolver.ghostty },
        { "ITERM", resolver.iterm },
        { "iTerm", resolver.iterm },
        { "Terminal", resolver.terminalApp },
        { "warp", resolver.warp },
        { "iTerm2", nullptr },
        { "WezTerm", nullptr },
        { "VS Code", nullptr },
        { "GNOME Terminal", nullptr },
        { "", nullptr },
        { std::nullopt, nullptr },
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name.value_or("(none)").toStdString());
        AgentSession session;
        session.terminalApp = name;
        EXPECT_EQ(resolver.resolve(session), expected);
    }
    EXPECT_NE(resolver.iterm, nullptr);
    EXPECT_NE(resolver.iterm, resolver.ghostty);
}

TEST(TeleportTargetResolver, TeleportGoesToTheResolvedTeleporterOrIsUnsupported)
{
    auto recording = std::make_shared<RecordingTeleporter>();
    const TeleportTargetResolver resolver(recording, nullptr);

    AgentSession session = sessionWith("id", "/dev/ttys003", "/work");
    session.terminalApp = "iterm";
    EXPECT_EQ(QCoro::waitFor(resolver.teleport(session)), TeleportResult::PermissionDenied);
    EXPECT_EQ(recording->seen, std::vector<AgentSession> { session });

    session.terminalApp = "Konsole";
    EXPECT_EQ(QCoro::waitFor(resolver.teleport(session)), TeleportResult::Unsupported);
    session.terminalApp = "Terminal"; // an empty slot
    EXPECT_EQ(QCoro::waitFor(resolver.teleport(session)), TeleportResult::Unsupported);
    session.terminalApp = "Warp";
    EXPECT_EQ(QCoro::waitFor(resolver.teleport(session)), TeleportResult::Unsupported);
    EXPECT_EQ(recording->seen.size(), 1u);
}

} // namespace
} // namespace murmeli::hooks
