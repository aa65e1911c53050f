#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QThread>
#include <QTimer>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeTTS.h"
#include "tests/support/HttpClient.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/MockApprovalBridge.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using hooks::PermissionScope;
using test::HttpClient;
using test::waitUntil;

namespace {

QByteArray permissionRequest(const QByteArray& body)
{
    return "POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n"
        + body;
}

QByteArray bashPayload(const QString& command, const QString& toolUseId = {})
{
    QJsonObject payload { { QStringLiteral("session_id"), QStringLiteral("0123456789abcdef") },
        { QStringLiteral("tool_name"), QStringLiteral("Bash") },
        { QStringLiteral("tool_input"), QJsonObject { { QStringLiteral("command"), command } } } };
    if (!toolUseId.isEmpty()) {
        payload.insert(QStringLiteral("tool_use_id"), toolUseId);
    }
    return QJsonDocument(payload).toJson(QJsonDocument::Compact);
}

class AppControllerApprovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        controller.onLog = [this](const QString& message, common::LogColor color) {
            lines << message;
            colors << color;
        };
        test::ControllerProbe::setApprovalBridge(controller, bridge);
        controller.startBackend(QString());
        ASSERT_TRUE(test::ControllerProbe::hookServer(controller).isRunning());
        port = test::ControllerProbe::hookServer(controller).port();
    }

    std::unique_ptr<HttpClient> ask(const QString& command, const QString& toolUseId = {})
    {
        auto client = std::make_unique<HttpClient>(port);
        const int before = table().pendingCountTotal();
        client->write(permissionRequest(bashPayload(command, toolUseId)));
        EXPECT_TRUE(waitUntil([&] { return table().pendingCountTotal() == before + 1; }));
        return client;
    }

    hooks::PendingRequestTable& table() { return test::ControllerProbe::pendingTable(controller); }
    QString activeId() { return table().activeRequest()->toolUseId; }

    QByteArray reply(const QByteArray& body) { return test::expectedReply(200, "OK", body); }

    /// Lets a quit that went ahead end: the replies leave on the server's thread, and the quit looks again on its
    /// clock, kept here at real time's pace, until they have. The connections still open when it ended, if it did.
    // The connections still open when murmeli ended, after `end` (an end begun elsewhere when empty); nullopt where
    // it did not end. An end whose replies are out at once ends within `end`.
    std::optional<qint64> connectionsOnceQuit(const std::function<void()>& end = {})
    {
        app::QuitRequest& quit = controller.quitRequest();
        const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
        std::optional<qint64> connectionsAtQuit;
        quit.quit = [&] { connectionsAtQuit = server.activeConnectionCount(); };
        if (end) {
            end();
        }
        QElapsedTimer real;
        real.start();
        qint64 kept = 0;
        waitUntil([&] {
            const qint64 now = real.elapsed();
            clock->advance(now - std::exchange(kept, now));
            return connectionsAtQuit.has_value();
        });
        quit.quit = [] {};
        return connectionsAtQuit;
    }

    std::shared_ptr<test::FakeClock> clock = std::make_shared<test::FakeClock>();
    std::shared_ptr<test::MockApprovalBridge> bridge = std::make_shared<test::MockApprovalBridge>(*clock);
    QTemporaryDir root;
    app::AppController controller { test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), clock) };
    quint16 port = 0;
    QStringList lines;
    QList<common::LogColor> colors;
};

} // namespace

TEST_F(AppControllerApprovalTest, DecisionsProduceTheExactReplies)
{
    auto once = ask(QStringLiteral("ls -la"));
    EXPECT_EQ(table().activeRequest()->commandPreview, QStringLiteral("ls -la"));
    EXPECT_TRUE(activeId().startsWith(QStringLiteral("01234567:Bash:")));
    EXPECT_EQ(bridge->requestLog, QStringList { activeId() });
    EXPECT_FALSE(once->closedByServer());
    table().resolve(activeId(), ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_EQ(once->readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"));

    auto always = ask(QStringLiteral("make"));
    table().resolve(activeId(), ApprovalDecision::allow(PermissionScope::Session));
    EXPECT_EQ(always->readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":[{"behavior":"allow",)"
              R"("destination":"session","rules":[{"toolName":"Bash"}],"type":"addRules"}]},)"
              R"("hookEventName":"PermissionRequest"}})"));

    auto denied = ask(QStringLiteral("rm -rf /"));
    EXPECT_EQ(table().activeRequest()->priority, 1);
    table().resolve(activeId(), ApprovalDecision::deny());
    EXPECT_EQ(denied->readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"deny"},"hookEventName":"PermissionRequest"}})"));
    EXPECT_FALSE(table().hasActive());
}

TEST_F(AppControllerApprovalTest, TheRequestOnShowIsSpoken)
{
    controller.announcements().tts().setEnabled(true);
    auto* backend = dynamic_cast<test::FakeTTSBackend*>(controller.announcements().tts().backends().front().get());
    ASSERT_NE(backend, nullptr);
    auto held = ask(QStringLiteral("git push origin main"));
    ASSERT_TRUE(waitUntil([&] { return backend->phrases.size() == 1; }));
    EXPECT_EQ(backend->phrases.front(), QStringLiteral("Approve. git push origin main"));
    // No device link here: the computer's speaker is the one heard.
    EXPECT_EQ(controller.announcements().tts().activeOutput()->id(), QStringLiteral("mac-speaker"));
    table().resolve(activeId(), ApprovalDecision::deny());
}

TEST_F(AppControllerApprovalTest, UnansweredRequestWarnsThenFailsOpen)
{
    auto held = ask(QStringLiteral("sleep 1"));
    const QString id = activeId();
    clock->advance(4999);
    EXPECT_TRUE(bridge->warningLog.isEmpty());
    clock->advance(1);
    EXPECT_EQ(bridge->warningLog, QStringList { id });
    EXPECT_TRUE(lines.contains(QStringLiteral("[approval-diag] still waiting on ") + id));
    clock->advance(19999);
    EXPECT_FALSE(held->closedByServer());
    clock->advance(1);
    EXPECT_EQ(held->readUntilClosed(), reply("{}"));
}

TEST_F(AppControllerApprovalTest, QueuedRequestsAnswerInAnyOrder)
{
    auto first = ask(QStringLiteral("one"), QStringLiteral("tu-1"));
    auto second = ask(QStringLiteral("two"), QStringLiteral("tu-2"));
    auto third = ask(QStringLiteral("three"), QStringLiteral("tu-3"));
    EXPECT_EQ(activeId(), QStringLiteral("tu-1"));
    EXPECT_EQ(table().queueDepth(), 2);

    // A decision for a queued request (as the device may send) answers it; the active one stays.
    table().resolve(QStringLiteral("tu-3"), ApprovalDecision::deny(QStringLiteral("not now")));
    EXPECT_EQ(third->readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"not now"},)"
              R"("hookEventName":"PermissionRequest"}})"));
    EXPECT_EQ(activeId(), QStringLiteral("tu-1"));
    EXPECT_EQ(table().queueDepth(), 1);

    // A second request with an id already held is let through at once.
    auto duplicate = std::make_unique<HttpClient>(port);
    duplicate->write(permissionRequest(bashPayload(QStringLiteral("again"), QStringLiteral("tu-2"))));
    EXPECT_EQ(duplicate->readUntilClosed(), reply("{}"));

    table().resolve(QStringLiteral("tu-1"), ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_FALSE(first->readUntilClosed().isEmpty());
    EXPECT_EQ(activeId(), QStringLiteral("tu-2"));
    EXPECT_EQ(bridge->requestLog, (QStringList { QStringLiteral("tu-1"), QStringLiteral("tu-2") }));
    EXPECT_FALSE(second->closedByServer());
}

TEST_F(AppControllerApprovalTest, ClientThatLeavesIsDroppedAndTheNextBecomesActive)
{
    auto first = ask(QStringLiteral("one"));
    auto second = ask(QStringLiteral("two"));
    auto third = ask(QStringLiteral("three"));
    const QString firstId = activeId();

    // A queued client leaves: it is taken out, the active one stays.
    second.reset();
    ASSERT_TRUE(waitUntil([&] { return table().queueDepth() == 1; }));
    EXPECT_EQ(activeId(), firstId);
    EXPECT_EQ(bridge->cancelLog.size(), 1);

    // The active client leaves: the next one is shown with fresh timers.
    first.reset();
    ASSERT_TRUE(waitUntil([&] { return table().queueDepth() == 0 && table().hasActive() && activeId() != firstId; }));
    EXPECT_EQ(table().activeRequest()->commandPreview, QStringLiteral("three"));
    EXPECT_EQ(bridge->cancelLog.size(), 2);
    EXPECT_EQ(bridge->cancelLog.last(), firstId);
    EXPECT_TRUE(waitUntil([&] { return test::ControllerProbe::hookServer(controller).activeConnectionCount() == 1; }));

    table().resolve(activeId(), ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_TRUE(third->readUntilClosed().endsWith(R"("hookEventName":"PermissionRequest"}})"));
}

TEST_F(AppControllerApprovalTest, UnparsablePayloadGetsTheNeutralReplyAndARedLine)
{
    HttpClient client(port);
    client.write(permissionRequest(R"({"session_id":"abc","tool_input":{}})"));
    EXPECT_EQ(client.readUntilClosed(), reply(R"({"ok":true})"));
    EXPECT_EQ(test::ControllerProbe::hookServer(controller).parseFailureCount(), 1);
    const int at = lines.indexOf(
        QStringLiteral("[diag] parseRequest FAILED keys=[session_id,tool_input] — Claude Code schema 漂移?"));
    ASSERT_GE(at, 0) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(colors[at], common::LogColor::Red);
    EXPECT_FALSE(table().hasActive());

    // Other events are not held.
    EXPECT_EQ(test::postHook(port, QStringLiteral("/hook/PostToolUse"), "{}"), reply(R"({"ok":true})"));
}

TEST_F(AppControllerApprovalTest, QueueBehindLongHeldRequestsIsAnsweredWhileItsHookStillListens)
{
    auto first = ask(QStringLiteral("one"), QStringLiteral("tu-1"));
    auto second = ask(QStringLiteral("two"), QStringLiteral("tu-2"));
    auto third = ask(QStringLiteral("three"), QStringLiteral("tu-3"));
    clock->advance(25000);
    EXPECT_EQ(first->readUntilClosed(), reply("{}"));
    clock->advance(25000);
    EXPECT_EQ(second->readUntilClosed(), reply("{}"));
    EXPECT_EQ(activeId(), QStringLiteral("tu-3"));

    // The permission script stops waiting at 58 s; the third request has its reply and its card is gone at 55 s.
    clock->advance(4999);
    EXPECT_TRUE(table().hasActive());
    clock->advance(1);
    EXPECT_EQ(third->readUntilClosed(), reply("{}"));
    // Each card went as its request failed open.
    EXPECT_EQ(
        bridge->cancelLog, (QStringList { QStringLiteral("tu-1"), QStringLiteral("tu-2"), QStringLiteral("tu-3") }));
    EXPECT_FALSE(table().hasActive());
}

TEST_F(AppControllerApprovalTest, PanelButtonsAnswerTheRequestOnShow)
{
    // Before the back end wires them the panel's actions are unset; SetUp started it.
    notch::PanelViewModel& vm = controller.vm();
    ASSERT_TRUE(vm.onApprove);

    const struct {
        notch::NotchApprovalAction action;
        QByteArray reply;
    } cases[] = {
        { notch::NotchApprovalAction::AllowOnce,
            R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})" },
        { notch::NotchApprovalAction::AllowAlways,
            R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":[{"behavior":"allow",)"
            R"("destination":"session","rules":[{"toolName":"Bash"}],"type":"addRules"}]},)"
            R"("hookEventName":"PermissionRequest"}})" },
        { notch::NotchApprovalAction::Deny,
            R"({"hookSpecificOutput":{"decision":{"behavior":"deny"},"hookEventName":"PermissionRequest"}})" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(notch::toString(c.action).toStdString());
        auto held = ask(QStringLiteral("make"));
        controller.sessions().syncSessions();
        ASSERT_TRUE(waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
        EXPECT_EQ(vm.pendingApprovalMessage(), "Bash: make");
        ASSERT_EQ(vm.sessions().size(), 1);
        EXPECT_EQ(vm.sessions().front().state, notch::SessionState::needsApproval());

        EXPECT_EQ(vm.currentSurface(), notch::IslandSurface::approvalCard(QStringLiteral("01234567"), activeId()));

        // A click on another session's card answers nothing; the request's own row does.
        lines.clear();
        vm.onApprove(QStringLiteral("someone"), activeId(), c.action);
        ASSERT_TRUE(waitUntil([&] { return lines.size() == 2; }));
        EXPECT_EQ(lines.first(), "[approval-diag] vm.onApprove fired action=" + notch::toString(c.action));
        EXPECT_TRUE(lines.last().startsWith(QStringLiteral("[approval-diag] click on someone's card ignored")));
        EXPECT_TRUE(table().hasActive());
        EXPECT_FALSE(held->closedByServer());
        vm.onApprove(QStringLiteral("01234567"), activeId(), c.action);
        EXPECT_EQ(held->readUntilClosed(), reply(c.reply));
        EXPECT_FALSE(table().hasActive());
        controller.sessions().syncSessions();
        ASSERT_TRUE(waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
        EXPECT_EQ(vm.currentSurface(), notch::IslandSurface::sessionList());
    }

    lines.clear();
    vm.onApprove(
        QStringLiteral("01234567"), QStringLiteral("01234567:Bash:gone"), notch::NotchApprovalAction::AllowOnce);
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 2; }));
    EXPECT_EQ(lines.last(), "[diag] approval click → pendingTable empty (hook 没注册 / schema 漂移?)");
}

// Answered in the agent's own terminal: the agent goes on without the hook's reply. What it does next shows that
// it has moved past the request, which then fails open; nothing else lets a request go early.
TEST_F(AppControllerApprovalTest, ARequestTheAgentHasMovedPastFailsOpen)
{
    const auto event = [&](const QString& name, QJsonObject payload) {
        payload.insert(QStringLiteral("session_id"), QStringLiteral("0123456789abcdef"));
        controller.sessions().handleHookEvent(name, payload);
    };
    const QJsonObject makeInput { { QStringLiteral("command"), QStringLiteral("make") } };
    const struct {
        const char* what;
        QString event;
        QJsonObject payload;
        bool releases;
    } cases[] = {
        { "another tool finished", QStringLiteral("PostToolUse"),
            { { "tool_name", "Bash" }, { "tool_input", QJsonObject { { "command", "ls" } } } }, false },
        { "another session stopped", QStringLiteral("Stop"), { { "session_id", "ffffffff0000" } }, false },
        { "a notification", QStringLiteral("Notification"), {}, false },
        { "the same call finished", QStringLiteral("PostToolUse"),
            { { "tool_name", "Bash" }, { "tool_input", makeInput } }, true },
        { "the same call failed", QStringLiteral("PostToolUseFailure"),
            { { "tool_name", "Bash" }, { "tool_input", makeInput } }, true },
        { "the session stopped", QStringLiteral("Stop"), {}, true },
        { "a new prompt", QStringLiteral("UserPromptSubmit"), {}, true },
        { "the session ended", QStringLiteral("SessionEnd"), {}, true },
        // Esc in Codex's terminal cancels its request; the hook that posted it goes on waiting.
        { "cancelled in the agent's terminal", QStringLiteral("Interrupt"), {}, true },
        { "another session cancelled", QStringLiteral("Interrupt"), { { "session_id", "ffffffff0000" } }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto held = ask(QStringLiteral("make"));
        const QString id = activeId();
        QJsonObject payload = c.payload;
        if (payload.contains(QStringLiteral("session_id"))) {
            controller.sessions().handleHookEvent(c.event, payload);
        } else {
            event(c.event, payload);
        }
        if (!c.releases) {
            EXPECT_TRUE(table().hasActive());
            table().resolve(id, ApprovalDecision::deny());
            held->readUntilClosed();
            continue;
        }
        EXPECT_FALSE(table().hasActive());
        EXPECT_EQ(held->readUntilClosed(), reply("{}"));
        EXPECT_EQ(bridge->cancelLog.last(), id);
    }
}

// The quit question stays while the requests it counts fail open or are answered elsewhere, and what it says follows
// them; quitting once none waits answers none.
TEST_F(AppControllerApprovalTest, TheQuitQuestionCountsOnlyTheRequestsThatStillWait)
{
    auto first = ask(QStringLiteral("ls"));
    auto second = ask(QStringLiteral("pwd"));
    app::QuitRequest& quit = controller.quitRequest();
    QStringList told;
    std::function<void(bool)> answer;
    bool quitted = false;
    quit.quit = [&] { quitted = true; };
    quit.ask = [&](const QString&, const QString& detail, std::function<void(bool)> answerWith) {
        told << detail;
        answer = std::move(answerWith);
        return [&](const QString& retold) { told << retold; };
    };
    quit.request();
    clock->advance(hooks::PendingRequestTable::defaultTimeoutAfterMs);
    EXPECT_EQ(first->readUntilClosed(), reply("{}"));
    const QString afterTimeout = told.last();
    table().resolve(activeId(), ApprovalDecision::deny());
    second->readUntilClosed();

    EXPECT_TRUE(told.first().startsWith(QStringLiteral("2 permission request(s)"))) << told.join('|').toStdString();
    EXPECT_TRUE(afterTimeout.startsWith(QStringLiteral("1 permission request(s)"))) << told.join('|').toStdString();
    EXPECT_EQ(told.last().toStdString(), "No permission request waits any more.");
    ASSERT_TRUE(answer);
    answer(true);
    EXPECT_TRUE(waitUntil([&] { return quitted; }));
    EXPECT_TRUE(lines.contains(QStringLiteral("quit: murmeli quits from the panel; 0 held request(s) fail open")));
}

// One request held: quitting asks first. Cancelled, the request still waits for its answer and murmeli runs on;
// confirmed, the agent has its fail-open reply before murmeli ends.
TEST_F(AppControllerApprovalTest, QuittingWithOneHeldRequestAsksFirstAndEndsOnceTheAgentHasItsReply)
{
    app::QuitRequest& quit = controller.quitRequest();
    const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
    std::optional<qint64> connectionsAtQuit;
    quit.quit = [&] { connectionsAtQuit = server.activeConnectionCount(); };
    QStringList asked;
    const struct {
        const char* what;
        bool confirmed;
    } cases[] = { { "cancelled", false }, { "confirmed", true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        asked.clear();
        lines.clear();
        auto held = ask(QStringLiteral("make install"));
        quit.ask = [&, confirmed = c.confirmed](
                       const QString& question, const QString& detail, std::function<void(bool)> answerWith) {
            asked << question + ' ' + detail;
            // Answered once the question is up, as a person does.
            QTimer::singleShot(0, [answerWith, confirmed] { answerWith(confirmed); });
            return app::QuitRequest::Retell();
        };
        quit.request();
        ASSERT_EQ(asked.size(), 1) << "quit without asking";
        EXPECT_TRUE(asked.front().startsWith(QStringLiteral("Quit murmeli? 1 permission request(s) wait")))
            << asked.front().toStdString();
        EXPECT_TRUE(lines.contains(QStringLiteral("quit: asking first, 1 permission request(s) held")));
        if (!c.confirmed) {
            ASSERT_TRUE(
                waitUntil([&] { return lines.contains(QStringLiteral("quit: cancelled, murmeli keeps running")); }));
            EXPECT_FALSE(connectionsAtQuit.has_value());
            EXPECT_EQ(table().pendingCountTotal(), 1);
            EXPECT_FALSE(held->closedByServer());
            table().resolve(activeId(), ApprovalDecision::deny());
            held->readUntilClosed();
            continue;
        }
        connectionsAtQuit = connectionsOnceQuit();
        ASSERT_TRUE(connectionsAtQuit.has_value()) << "murmeli did not end";
        EXPECT_EQ(*connectionsAtQuit, 0) << "murmeli ended before the agent had its reply";
        EXPECT_EQ(held->readUntilClosed().toStdString(), reply("{}").toStdString());
        EXPECT_TRUE(lines.contains(QStringLiteral("quit: murmeli quits from the panel; 1 held request(s) fail open")));
    }
}

// A signal from the system while the quit question shows ends murmeli without its answer, as a confirmed quit would;
// the question closing on the way out cancels nothing.
TEST_F(AppControllerApprovalTest, ASignalWhileTheQuitQuestionShowsEndsWithoutItsAnswer)
{
    app::QuitRequest& quit = controller.quitRequest();
    std::function<void(bool)> answer;
    quit.ask = [&](const QString&, const QString&, std::function<void(bool)> answerWith) {
        answer = std::move(answerWith);
        return app::QuitRequest::Retell();
    };
    auto held = ask(QStringLiteral("make install"));
    quit.request();
    ASSERT_TRUE(answer) << "quit without asking";
    const std::optional<qint64> connectionsAtQuit
        = connectionsOnceQuit([&] { quit.requestWithoutAsking(QStringLiteral("murmeli ends on SIGTERM")); });
    ASSERT_TRUE(connectionsAtQuit.has_value()) << "murmeli did not end";
    EXPECT_EQ(*connectionsAtQuit, 0) << "murmeli ended before the agent had its reply";
    EXPECT_EQ(held->readUntilClosed().toStdString(), reply("{}").toStdString());
    EXPECT_TRUE(lines.contains(QStringLiteral("quit: murmeli ends on SIGTERM; 1 held request(s) fail open")));
    answer(false);
    EXPECT_FALSE(lines.contains(QStringLiteral("quit: cancelled, murmeli keeps running")));
}

// What reaches murmeli while it ends is answered or refused, never cut: a request on its way in when the end began is
// answered as the held one is (a permission request fails open, another event is taken), and a connection tried
// once the end began is refused, which the agent's hook takes for murmeli being gone. murmeli ends only once every
// reply has left.
TEST_F(AppControllerApprovalTest, WhatArrivesWhileMurmeliEndsIsAnsweredOrRefusedNeverCut)
{
    app::QuitRequest& quit = controller.quitRequest();
    auto held = ask(QStringLiteral("make install"));
    struct Row {
        const char* what;
        QByteArray request;
        QByteArray reply;
    };
    const QByteArray permission = permissionRequest(bashPayload(QStringLiteral("rm -rf build"), QStringLiteral("t-2")));
    const QByteArray event = "POST /hook/PostToolUse HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
    const Row rows[]
        = { { "a permission request", permission, reply("{}") }, { "another event", event, reply(R"({"ok":true})") } };
    std::vector<std::unique_ptr<HttpClient>> onTheirWay;
    for (const Row& row : rows) {
        onTheirWay.push_back(std::make_unique<HttpClient>(port));
        ASSERT_TRUE(onTheirWay.back()->connected());
        onTheirWay.back()->write(row.request.first(row.request.size() - 1));
    }
    std::vector<std::unique_ptr<HttpClient>> late;
    const std::optional<qint64> connectionsAtQuit = connectionsOnceQuit([&] {
        quit.requestWithoutAsking(QStringLiteral("murmeli ends on SIGTERM"));
        for (const Row& row : rows) {
            late.push_back(std::make_unique<HttpClient>(port));
            if (late.back()->connected()) {
                late.back()->write(row.request);
            }
        }
        for (std::size_t at = 0; at < std::size(rows); ++at) {
            onTheirWay[at]->write(rows[at].request.last(1));
        }
    });
    ASSERT_TRUE(connectionsAtQuit.has_value()) << "murmeli did not end";
    EXPECT_EQ(*connectionsAtQuit, 0) << "murmeli ended before every agent had its reply";
    EXPECT_EQ(held->readUntilClosed().toStdString(), reply("{}").toStdString());
    for (std::size_t at = 0; at < std::size(rows); ++at) {
        SCOPED_TRACE(rows[at].what);
        EXPECT_EQ(onTheirWay[at]->readUntilClosed().toStdString(), rows[at].reply.toStdString());
        EXPECT_FALSE(late[at]->connected())
            << "taken once murmeli was ending: " << late[at]->readUntilClosed().toStdString();
    }
}

// Its X server gone, murmeli ends on the spot and its main thread takes nothing in any more: a permission request the
// server took that never reached the main thread is failed open all the same, as the held one is, rather than cut.
TEST_F(AppControllerApprovalTest, EndingOnTheSpotFailsOpenWhatTheMainThreadNeverTook)
{
    auto held = ask(QStringLiteral("make install"));
    const hooks::HookServer& server = test::ControllerProbe::hookServer(controller);
    const qint64 before = server.totalEventCount();
    // Sent and taken by the server while this thread runs no event loop, which delivers it no more.
    const QByteArray request = permissionRequest(bashPayload(QStringLiteral("rm -rf build"), QStringLiteral("t-2")));
    const int taken = test::connectLoopback(port);
    ASSERT_EQ(::send(taken, request.constData(), size_t(request.size()), MSG_NOSIGNAL), request.size());
    for (QDeadlineTimer bound(5000); server.totalEventCount() == before && !bound.hasExpired();) {
        QThread::usleep(1000);
    }
    ASSERT_EQ(server.totalEventCount(), before + 1) << "the server never took the request";

    controller.quitRequest().failOpenNow(QStringLiteral("murmeli ends, its X server went away"));
    EXPECT_EQ(test::replyOf(taken).toStdString(), reply("{}").toStdString());
    EXPECT_EQ(held->readUntilClosed().toStdString(), reply("{}").toStdString());
}

// Two agents whose ids begin alike, as ids that begin with a clock do when their sessions start within a minute: each
// is a session of its own, and what one does never settles the other's request.
TEST_F(AppControllerApprovalTest, SessionsWhoseIdsBeginAlikeStayApart)
{
    const QString first = QStringLiteral("5eed0001-aaaa-4aaa-8aaa-000000000001");
    const QString second = QStringLiteral("5eed0001-aaaa-4aaa-8aaa-000000000002");
    const auto post = [&](const QString& event, const QString& session) {
        const QJsonObject body { { "session_id", session }, { "cwd", "/home/u/" + session.right(1) } };
        return test::postHook(port, "/hook/" + event, QJsonDocument(body).toJson(QJsonDocument::Compact));
    };
    const auto rows = [&] {
        controller.sessions().syncSessions();
        EXPECT_TRUE(waitUntil([&] { return !test::ControllerProbe::panelSync(controller).isReading(); }));
        return controller.vm().sessions();
    };
    post(QStringLiteral("SessionStart"), first);
    post(QStringLiteral("SessionStart"), second);
    HttpClient held(port);
    held.write(permissionRequest(QJsonDocument(QJsonObject { { "session_id", second }, { "tool_name", "Bash" },
                                                   { "tool_input", QJsonObject { { "command", "make" } } } })
                                     .toJson(QJsonDocument::Compact)));
    ASSERT_TRUE(waitUntil([&] { return table().hasActive(); }));
    EXPECT_EQ(rows().size(), 2);

    post(QStringLiteral("UserPromptSubmit"), first);
    post(QStringLiteral("SessionEnd"), first);
    ASSERT_TRUE(waitUntil([&] { return test::ControllerProbe::sessionRegistry(controller).sessions().size() == 1; }));
    ASSERT_TRUE(table().hasActive());
    const QList<notch::SessionRow> left = rows();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left.front().projectName, QStringLiteral("2"));
    EXPECT_EQ(left.front().state, notch::SessionState::needsApproval());
    table().resolve(activeId(), ApprovalDecision::deny());
    EXPECT_EQ(held.readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"deny"},"hookEventName":"PermissionRequest"}})"));
}

// With no hook secret stored, another user's process that knows a session's id can neither end it, fail its held
// request open nor put a request of its own on the panel: each gets 403, and the user's answer still reaches the
// agent that asked.
TEST_F(AppControllerApprovalTest, AnotherUsersProcessCannotTouchTheUsersSessions)
{
    if (const QString why = test::whyNoOtherUser(); !why.isEmpty()) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << "under CI the tests run as root: " << why.toStdString();
        }
        GTEST_SKIP() << why.toStdString();
    }
    const QByteArray session = R"({"session_id":"0123456789abcdef","cwd":"/home/u/p"})";
    test::postHook(port, QStringLiteral("/hook/SessionStart"), session);
    auto held = ask(QStringLiteral("make"));
    const QString asked = activeId();
    const hooks::SessionRegistry& registry = test::ControllerProbe::sessionRegistry(controller);
    ASSERT_TRUE(waitUntil([&] { return registry.sessions().size() == 1; }));

    for (const auto& [event, body] : { std::pair { "Stop", session }, std::pair { "SessionEnd", session },
             std::pair { "PermissionRequest", bashPayload(QStringLiteral("rm -rf ~")) } }) {
        EXPECT_EQ(test::exchangeAsOtherUser(port,
                      "POST /hook/" + QByteArray(event) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\n\r\n" + body),
            test::expectedReply(403, "Forbidden", "Forbidden"))
            << event;
    }
    // Events are handled in the order they came: anything of the other user's would have been by now.
    test::postHook(port, QStringLiteral("/hook/Fence"), "{}");
    ASSERT_TRUE(waitUntil([&] { return lines.contains(QStringLiteral("Hook: Fence")); }));
    EXPECT_EQ(registry.sessions().size(), 1);
    EXPECT_EQ(table().pendingCountTotal(), 1);
    ASSERT_TRUE(table().hasActive());
    EXPECT_EQ(activeId(), asked);
    EXPECT_EQ(lines.filter(QStringLiteral("from another user's processes (user id 65534)")).size(), 1);
    table().resolve(asked, ApprovalDecision::allow(PermissionScope::Once));
    EXPECT_EQ(held->readUntilClosed(),
        reply(R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"));
}
