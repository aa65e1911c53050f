#include <chrono>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include <QStringList>
#include <QThread>

#include <QCoroTask>
#include <gtest/gtest.h>

#include "main/hooks/terminals/AppleScriptRunner.h"
#include "main/hooks/terminals/TeleportTargetResolver.h"
#include "main/hooks/terminals/TeleportTypes.h"
#include "main/hooks/terminals/TerminalTeleporters.h"
#include "platform/applescript/ScriptHostFactory.h"
#include "platform/applescript/fake/FakeScriptHost.h"

namespace murmeli::hooks {
namespace {

using AppleScriptRunner::Outcome;
using platform::FakeScriptHost;
using platform::ScriptResult;

Outcome outcome(std::optional<QString> standardOutput, const QString& standardError, bool timedOut, int exitCode)
{
    Outcome made;
    made.standardOutput = std::move(standardOutput);
    made.standardError = standardError;
    made.timedOut = timedOut;
    made.exitCode = exitCode;
    return made;
}

Outcome failedOutcome(const QString& error)
{
    return outcome(std::nullopt, error, false, 1);
}

Outcome timedOutOutcome()
{
    return outcome(std::nullopt, "timeout", true, -1);
}

ScriptResult printed(const QByteArray& text)
{
    return FakeScriptHost::printed(text);
}

ScriptResult failed(const QByteArray& error)
{
    return FakeScriptHost::failed(error);
}

TeleportResult jump(const TerminalTeleporter& teleporter, AgentSession session)
{
    return QCoro::waitFor(teleporter.teleport(std::move(session)));
}

// A teleporter wired to its own fake script host; it records which bundle ids were asked about.
template <typename Teleporter> struct Rig {
    Rig(std::initializer_list<ScriptResult> replies = {})
    {
        host->queue(replies);
        teleporter.isRunning = [this](const QString& bundleId) {
            probed.push_back(bundleId);
            return running;
        };
    }
    TeleportResult jump(AgentSession session) { return hooks::jump(teleporter, std::move(session)); }
    QStringList scripts() const { return host->scripts(); }

    std::shared_ptr<FakeScriptHost> host = std::make_shared<FakeScriptHost>();
    Teleporter teleporter { host };
    std::vector<QString> probed;
    bool running = true;
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
    EXPECT_EQ(iterm.probed, std::vector<QString> { "com.googlecode.iterm2" });
    ASSERT_EQ(iterm.scripts().size(), 1u);
    EXPECT_EQ(iterm.scripts()[0], itermSearch);
}

TEST(TeleportScripts, TerminalSearchIsSentExactly)
{
    Rig<TerminalAppTeleporter> terminal { printed("ok") };
    EXPECT_EQ(terminal.jump(sessionWith("ignored", "/dev/ttys007", "/ignored", "build")), TeleportResult::Success);
    EXPECT_EQ(terminal.probed, std::vector<QString> { "com.apple.Terminal" });
    EXPECT_EQ(terminal.scripts(), QStringList { terminalSearch });
}

TEST(TeleportScripts, GhosttySearchIsSentExactly)
{
    Rig<GhosttyTeleporter> ghostty { printed("ok") };
    EXPECT_EQ(ghostty.jump(sessionWith("term-9", "/dev/ignored", "/home/me/app")), TeleportResult::Success);
    EXPECT_EQ(ghostty.probed, std::vector<QString> { "com.mitchellh.ghostty" });
    EXPECT_EQ(ghostty.scripts(), QStringList { ghosttySearch });
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
        ASSERT_EQ(iterm.scripts().size(), 1u);
        EXPECT_EQ(lineOf(iterm.scripts()[0], 2), needleLine);
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
        ASSERT_EQ(iterm.scripts().size(), 1u);
        EXPECT_EQ(lineOf(iterm.scripts()[0], 2), line);
    }

    Rig<GhosttyTeleporter> ghostty { printed("ok") };
    ghostty.jump(sessionWith(std::nullopt, std::nullopt, R"(/a"b)", R"(t\"x)"));
    ASSERT_EQ(ghostty.scripts().size(), 1u);
    EXPECT_EQ(lineOf(ghostty.scripts()[0], 3), R"(    set cwdNeedle to "/a\"b")");
    EXPECT_EQ(lineOf(ghostty.scripts()[0], 4), R"(    set titleNeedle to "t\\\"x")");
}

TEST(TerminalJumpFlow, TerminalNotRunningRunsNoScript)
{
    Rig<GhosttyTeleporter> ghostty;
    ghostty.running = false;
    EXPECT_EQ(ghostty.jump(sessionWith("id", "/dev/ttys001", "/work")), TeleportResult::TerminalClosed);
    EXPECT_TRUE(ghostty.scripts().isEmpty());
}

TEST(TerminalJumpFlow, NoNeedleOnlyActivatesAndMapsThatOutcome)
{
    Rig<TerminalAppTeleporter> terminal { failed(
        "execution error: Not authorized to send Apple events to Terminal. (-1743)") };
    // The working directory is no needle for Terminal.
    EXPECT_EQ(terminal.jump(sessionWith("id", std::nullopt, "/work", "")), TeleportResult::PermissionDenied);
    EXPECT_EQ(terminal.scripts(), QStringList { R"(tell application "Terminal" to activate)" });

    Rig<ITermTeleporter> iterm;
    // An empty session id is chosen over the tty, and an empty needle means no search.
    EXPECT_EQ(iterm.jump(sessionWith("", "/dev/ttys003", "/work")), TeleportResult::Success);
    EXPECT_EQ(iterm.scripts(), QStringList { R"(tell application "iTerm" to activate)" });
}

TEST(TerminalJumpFlow, AnyAnswerButOkFallsBackToActivation)
{
    for (const QByteArray& answer : { QByteArray("miss"), QByteArray("OK"), QByteArray("no"), QByteArray("") }) {
        SCOPED_TRACE(answer.toStdString());
        Rig<GhosttyTeleporter> ghostty { printed(answer), printed("") };
        EXPECT_EQ(ghostty.jump(sessionWith(std::nullopt, std::nullopt, "/work")), TeleportResult::Success);
        ASSERT_EQ(ghostty.scripts().size(), 2u);
        EXPECT_EQ(ghostty.scripts()[1], R"(tell application "Ghostty" to activate)");
    }

    Rig<GhosttyTeleporter> ghostty { printed("miss"), failed("Application isn't running. (-600)") };
    EXPECT_EQ(ghostty.jump(sessionWith(std::nullopt, std::nullopt, "/work")), TeleportResult::TerminalClosed);
    EXPECT_EQ(ghostty.scripts().size(), 2u);
}

TEST(TerminalJumpFlow, FailedSearchEndsTheJump)
{
    const std::vector<std::pair<ScriptResult, TeleportResult>> cases {
        { FakeScriptHost::timedOut(), TeleportResult::Timeout },
        { failed("osascript: Not authorized to send Apple events (-1743)"), TeleportResult::PermissionDenied },
        { failed("syntax error"), TeleportResult::TerminalClosed },
    };
    for (const auto& [searched, expected] : cases) {
        Rig<ITermTeleporter> iterm { searched };
        EXPECT_EQ(iterm.jump(sessionWith(std::nullopt, "/dev/ttys003", std::nullopt)), expected);
        EXPECT_EQ(iterm.scripts().size(), 1u);
    }
}

TEST(TerminalJumpFlow, ScriptsRunOffTheCallingThreadWithinTheLimit)
{
    Rig<ITermTeleporter> iterm { printed("ok") };
    TeleportResult result = TeleportResult::Unsupported;
    QThread* resumedOn = nullptr;
    QCoro::waitFor([&]() -> QCoro::Task<> {
        result = co_await iterm.teleporter.teleport(sessionWith(std::nullopt, "/dev/ttys003", std::nullopt));
        resumedOn = QThread::currentThread();
    }());
    EXPECT_EQ(result, TeleportResult::Success);
    const std::vector<FakeScriptHost::Call> calls = iterm.host->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].thread, nullptr);
    EXPECT_NE(calls[0].thread, QThread::currentThread());
    EXPECT_EQ(calls[0].timeout, std::chrono::seconds(3));
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
    Outcome both = timedOutOutcome();
    both.standardOutput = "ok";
    EXPECT_EQ(AppleScriptRunner::mapOutcome(both), TeleportResult::Timeout);
    // An empty answer with exit status 0 is still an answer.
    EXPECT_EQ(AppleScriptRunner::mapOutcome(outcome("", "", false, 0)), TeleportResult::Success);

    for (const QString& error : { QString("Not Authorized to send Apple events to iTerm."),
             QString("osascript is NOT ALLOWED ASSISTIVE ACCESS."), QString("errAEEventNotPermitted"),
             QString("execution error: (-1743)") }) {
        SCOPED_TRACE(error.toStdString());
        EXPECT_EQ(AppleScriptRunner::mapOutcome(failedOutcome(error)), TeleportResult::PermissionDenied);
    }
    EXPECT_EQ(AppleScriptRunner::mapOutcome(failedOutcome("execution error: (-1728)")), TeleportResult::TerminalClosed);
    EXPECT_EQ(AppleScriptRunner::mapOutcome(failedOutcome("")), TeleportResult::TerminalClosed);
}

TEST(AppleScriptRunnerOutcome, ReadsWhatTheHostReported)
{
    ScriptResult answered = printed("  ok \n");
    answered.standardError = "warn";
    ScriptResult failing = FakeScriptHost::failed("not authorized", 2);
    failing.standardOutput = "half";
    ScriptResult garbled = printed("o\377k");
    garbled.standardError = "e\377";
    ScriptResult cut = printed("ok");
    cut.outputTruncated = true;
    ScriptResult crashed = printed("ok");
    crashed.crashed = true;
    ScriptResult late = FakeScriptHost::timedOut();
    late.standardOutput = "early";
    ScriptResult notLaunched;
    notLaunched.errorText = "No such file or directory";

    const std::vector<std::pair<ScriptResult, Outcome>> cases {
        { answered, outcome("ok", "warn", false, 0) },
        { failing, outcome(std::nullopt, "not authorized", false, 2) },
        { garbled, outcome(std::nullopt, "", false, 0) },
        { cut, outcome(std::nullopt, "", false, 0) },
        { crashed, outcome(std::nullopt, "", false, -1) },
        { late, timedOutOutcome() },
        { notLaunched, outcome(std::nullopt, "No such file or directory", false, -1) },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(AppleScriptRunner::outcomeOf(cases[i].first), cases[i].second);
    }
}

TEST(AppleScriptRunnerDefault, WithoutAScriptHostTheJumpReportsTerminalClosed)
{
    const std::unique_ptr<platform::ScriptHost> host = platform::makeScriptHost();
    const Outcome expected = outcome(std::nullopt, "osascript is not available on this system", false, -1);
    EXPECT_EQ(
        AppleScriptRunner::run(*host, R"(tell application "System Events" to get name of first process)"), expected);
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
