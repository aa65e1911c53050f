#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include <QJsonDocument>
#include <QJsonObject>

#include "main/hooks/approvals/ApprovalRoad.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

using namespace murmeli;
using hooks::ApprovalDecision;
using hooks::PermissionScope;

namespace {

// Two Codex sessions started in the same instant: their ids share the first eight characters.
const QString codexA = QStringLiteral("019a7c3e-5d21-7c10-9a11-3f0e2b6c0a01");
const QString codexB = QStringLiteral("019a7c3e-5d21-7c10-9a11-3f0e2b6c0b02");

// What Codex 0.171 takes from its PermissionRequest hook, as the output schema its package ships says: a decision of
// "behavior" allow or deny with at most a "message". For any other key, a permission update above all, it turns the
// whole reply down and asks in its own terminal.
bool codexTakes(const QJsonObject& reply)
{
    const auto within = [](const QJsonObject& object, const QStringList& keys) {
        const QStringList present = object.keys();
        return std::all_of(present.cbegin(), present.cend(), [&](const QString& key) { return keys.contains(key); });
    };
    const QJsonObject output = reply[QStringLiteral("hookSpecificOutput")].toObject();
    const QJsonObject decision = output[QStringLiteral("decision")].toObject();
    return within(reply,
               { QStringLiteral("continue"), QStringLiteral("hookSpecificOutput"), QStringLiteral("stopReason"),
                   QStringLiteral("suppressOutput"), QStringLiteral("systemMessage") })
        && within(output, { QStringLiteral("decision"), QStringLiteral("hookEventName") })
        && output[QStringLiteral("hookEventName")] == QStringLiteral("PermissionRequest")
        && within(decision, { QStringLiteral("behavior"), QStringLiteral("message") });
}

// Claude Code keeps an Always Allow for the rest of its session by the session's rule for the tool in the allow.
bool claudeKeepsBash(const QJsonObject& reply)
{
    const QJsonValue update = reply[QStringLiteral("hookSpecificOutput")][QStringLiteral("decision")]
                                   [QStringLiteral("updatedPermissions")][0];
    return update[QStringLiteral("destination")] == QStringLiteral("session")
        && update[QStringLiteral("rules")][0][QStringLiteral("toolName")] == QStringLiteral("Bash");
}

// A body as the hook server hands it on: the agent's JSON and the adapter its script named.
QJsonObject body(const char* adapter, const QString& sessionId, const QString& toolName = QStringLiteral("Bash"))
{
    return { { QStringLiteral("_murmeli_adapter"), QString::fromLatin1(adapter) },
        { QStringLiteral("session_id"), sessionId }, { QStringLiteral("tool_name"), toolName },
        { QStringLiteral("tool_input"), QJsonObject { { QStringLiteral("command"), QStringLiteral("touch m") } } } };
}

} // namespace

// Each answer reaches the agent as a reply it takes. Codex cannot keep an Always Allow, so murmeli keeps it: the
// tool's next request in that session is allowed without a card, while another tool, another session (even one whose
// key begins alike), another agent and Claude Code's sessions still ask; the allow ends with its session, and a
// compaction does not end it.
TEST(ApprovalRoadTest, EachAgentGetsAReplyItTakesAndCodexsAlwaysAllowHoldsForItsSessionOnly)
{
    test::FakeClock clock;
    hooks::PendingRequestTable table { clock };
    hooks::ApprovalRoad road { table, clock };
    const ApprovalDecision always = ApprovalDecision::allow(PermissionScope::Session);
    const ApprovalDecision yes = ApprovalDecision::allow(PermissionScope::Once);
    const ApprovalDecision no = ApprovalDecision::deny(QStringLiteral("not now"));
    const auto event = [&road](const char* name, const QString& sessionId, const char* source = "startup") {
        return [=, &road] {
            QJsonObject payload = body("codex", sessionId);
            payload.insert(QStringLiteral("source"), QString::fromLatin1(source));
            road.settleOvertaken(QString::fromLatin1(name), payload);
        };
    };
    struct Step {
        const char* name;
        std::function<void()> before;
        QJsonObject request;
        bool card;
        ApprovalDecision answer;
    };
    const std::vector<Step> steps {
        { "Always Allow on A's Bash", {}, body("codex", codexA), true, always },
        { "A's next Bash", {}, body("codex", codexA), false, yes },
        { "A's other tool", {}, body("codex", codexA, QStringLiteral("apply_patch")), true, no },
        { "B's Bash, allowed for the project from the device", {}, body("codex", codexB), true,
            ApprovalDecision::allow(PermissionScope::ProjectSettings, QStringLiteral("npm test")) },
        { "Bash of another agent naming A's id", {}, body("qwen", codexA), true, yes },
        { "Always Allow on Claude Code's Bash", {}, body("claude-code", codexB), true, always },
        { "Claude Code's next Bash: Claude Code keeps it", {}, body("claude-code", codexB), true, yes },
        { "A's Bash after a compaction", event("SessionStart", codexA, "compact"), body("codex", codexA), false, yes },
        { "A's Bash after B ended", event("SessionEnd", codexB), body("codex", codexA), false, yes },
        { "A's Bash after A ended", event("SessionEnd", codexA), body("codex", codexA), true, always },
        { "A's Bash after A was resumed", event("SessionStart", codexA, "resume"), body("codex", codexA), true,
            always },
        { "A's Bash after its agent was gone", [&] { road.sessionEnded(codexA); }, body("codex", codexA), true, yes },
    };
    for (const Step& step : steps) {
        if (step.before) {
            step.before();
        }
        const auto reply = test::keepResult(
            road.reply(QStringLiteral("PermissionRequest"), step.request, std::make_shared<hooks::HeldRequest>()));
        EXPECT_EQ(table.hasActive(), step.card) << step.name;
        if (table.hasActive()) {
            table.resolve(table.activeRequest()->toolUseId, step.answer);
        }
        ASSERT_TRUE(reply->has_value() && reply->value().has_value()) << step.name;
        const QJsonObject replied = QJsonDocument::fromJson(reply->value()->toUtf8()).object();
        const bool denied = step.card && step.answer.kind() == ApprovalDecision::Kind::Deny;
        EXPECT_EQ(replied[QStringLiteral("hookSpecificOutput")][QStringLiteral("decision")][QStringLiteral("behavior")],
            QJsonValue(denied ? QStringLiteral("deny") : QStringLiteral("allow")))
            << step.name;
        const bool codex = step.request[QStringLiteral("_murmeli_adapter")] == QStringLiteral("codex");
        const bool claudeAlways = !codex && step.card && step.answer == always;
        EXPECT_TRUE(codex ? codexTakes(replied) : !claudeAlways || claudeKeepsBash(replied))
            << step.name << ": " << reply->value()->toStdString();
    }
}
