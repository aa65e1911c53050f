#include "main/hooks/approvals/ApprovalSerialization.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QRegularExpression>

namespace murmeli::hooks::ApprovalSerialization {
namespace {

const QString ellipsis = QString(QChar(0x2026));
const QString eWithCombiningAcute = QString::fromUtf8("e\xCC\x81"); // one character, two UTF-16 units
const QDateTime now = QDateTime::fromMSecsSinceEpoch(1'700'000'000'123, Qt::UTC);

QJsonObject bash(const QString& command)
{
    return QJsonObject { { QStringLiteral("command"), command } };
}

QString reasonOf(const QJsonObject& extra)
{
    QJsonObject payload = extra;
    payload.insert(QStringLiteral("tool_name"), QStringLiteral("Bash"));
    return parseRequest(payload, now).value_or(ApprovalRequest {}).reason;
}

TEST(ApprovalSerializationParse, GeneratesIdFromSessionToolAndUuid)
{
    const QJsonObject payload { { QStringLiteral("tool_name"), QStringLiteral("Bash") },
        { QStringLiteral("session_id"), QStringLiteral("abcdefghij") },
        { QStringLiteral("tool_input"), bash(QStringLiteral("ls /tmp")) } };
    const auto request = parseRequest(payload, now);
    ASSERT_TRUE(request);
    static const QRegularExpression idForm(
        QStringLiteral("^abcdefgh:Bash:[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    EXPECT_TRUE(idForm.match(request->toolUseId).hasMatch()) << request->toolUseId.toStdString();
    EXPECT_NE(parseRequest(payload, now)->toolUseId, request->toolUseId);
    EXPECT_EQ(request->sessionId, QStringLiteral("abcdefgh"));
    EXPECT_EQ(request->reason, QStringLiteral("Tool requested approval"));
    EXPECT_EQ(request->commandPreview, QStringLiteral("ls /tmp"));
    EXPECT_EQ(request->rawInputJSON, QByteArrayLiteral(R"({"command":"ls /tmp"})"));
    EXPECT_EQ(request->enqueuedAt, now);
    EXPECT_EQ(request->priority, 0);
}

TEST(ApprovalSerializationParse, KeepsGivenIdAndCountsSessionPrefixInCharacters)
{
    QString session;
    for (int i = 0; i < 10; ++i) {
        session += eWithCombiningAcute;
    }
    const QJsonObject payload { { QStringLiteral("tool_name"), QStringLiteral("Write") },
        { QStringLiteral("tool_use_id"), QStringLiteral("toolu_1") }, { QStringLiteral("session_id"), session },
        { QStringLiteral("tool_input"), QJsonObject { { QStringLiteral("z"), 1 }, { QStringLiteral("a"), true } } } };
    const auto request = parseRequest(payload, now);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->toolUseId, QStringLiteral("toolu_1"));
    EXPECT_EQ(request->sessionId, session.left(16));
    EXPECT_EQ(request->rawInputJSON, QByteArrayLiteral(R"({"a":true,"z":1})"));
}

TEST(ApprovalSerializationParse, MistypedKeysFallBack)
{
    const QJsonObject payload { { QStringLiteral("tool_name"), QStringLiteral("Bash") },
        { QStringLiteral("tool_use_id"), 42 }, { QStringLiteral("session_id"), QJsonArray { 1 } },
        { QStringLiteral("tool_input"), QJsonArray { QStringLiteral("rm -rf /") } } };
    const auto request = parseRequest(payload, now);
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->toolUseId.startsWith(QStringLiteral(":Bash:"))) << request->toolUseId.toStdString();
    EXPECT_EQ(request->sessionId, QString());
    EXPECT_EQ(request->rawInputJSON, QByteArrayLiteral("{}"));
    EXPECT_EQ(request->commandPreview, QString());
    EXPECT_EQ(request->priority, 0);

    QJsonObject emptyId = payload;
    emptyId.insert(QStringLiteral("tool_use_id"), QString());
    EXPECT_TRUE(parseRequest(emptyId, now)->toolUseId.startsWith(QStringLiteral(":Bash:")));
}

TEST(ApprovalSerializationParse, RejectsBodiesWithoutUsableToolName)
{
    EXPECT_FALSE(parseRequest(QJsonObject(), now));
    EXPECT_FALSE(parseRequest(QJsonObject { { QStringLiteral("tool_input"), bash(QStringLiteral("ls")) } }, now));
    EXPECT_FALSE(parseRequest(QJsonObject { { QStringLiteral("tool_name"), QString() } }, now));
    EXPECT_FALSE(parseRequest(QJsonObject { { QStringLiteral("tool_name"), 7 } }, now));
}

TEST(ApprovalSerializationParse, ReasonPrefersReasonEvenWhenEmpty)
{
    const QString fallback = QStringLiteral("permission_decision_reason");
    EXPECT_EQ(reasonOf({ { QStringLiteral("reason"), QString() }, { fallback, QStringLiteral("pdr") } }),
        QStringLiteral("Tool requested approval"));
    EXPECT_EQ(reasonOf({ { fallback, QStringLiteral("pdr") } }), QStringLiteral("pdr"));
    EXPECT_EQ(
        reasonOf({ { QStringLiteral("reason"), 3 }, { fallback, QStringLiteral("pdr") } }), QStringLiteral("pdr"));
    EXPECT_EQ(reasonOf({ { QStringLiteral("reason"), QStringLiteral("r") }, { fallback, QStringLiteral("pdr") } }),
        QStringLiteral("r"));
}

TEST(ApprovalSerializationPreview, CutsAtTheLimitCountingCharacters)
{
    const QString sixty = QString(60, QLatin1Char('x'));
    EXPECT_EQ(generatePreview(QStringLiteral("Bash"), bash(sixty)), sixty);
    EXPECT_EQ(generatePreview(QStringLiteral("Bash"), bash(sixty + QLatin1Char('y'))), sixty.left(59) + ellipsis);
    QString accented;
    for (int i = 0; i < 60; ++i) {
        accented += eWithCombiningAcute;
    }
    EXPECT_EQ(generatePreview(QStringLiteral("Bash"), bash(accented)), accented);

    const QString longName = QString(51, QLatin1Char('n'));
    const QJsonObject edit { { QStringLiteral("file_path"), QStringLiteral("/src/") + longName } };
    EXPECT_EQ(generatePreview(QStringLiteral("Edit"), edit), QStringLiteral("edit ") + longName.left(49) + ellipsis);
    const QString longTool = QString(61, QLatin1Char('T'));
    EXPECT_EQ(generatePreview(longTool, {}), longTool.left(59) + ellipsis);
}

TEST(ApprovalSerializationPreview, FormatsEachToolKind)
{
    const QJsonObject write { { QStringLiteral("file_path"), QStringLiteral("/home/u/notes.txt") } };
    EXPECT_EQ(generatePreview(QStringLiteral("Write"), write), QStringLiteral("write notes.txt"));
    EXPECT_EQ(generatePreview(QStringLiteral("Write"), {}), QStringLiteral("write "));
    EXPECT_EQ(generatePreview(QStringLiteral("Bash"), {}), QString());
    EXPECT_EQ(generatePreview(QStringLiteral("Agent"), { { QStringLiteral("subagent_type"), QStringLiteral("Plan") } }),
        QStringLiteral("agent Plan"));
    EXPECT_EQ(generatePreview(QStringLiteral("mcp__files__read_file"), {}), QStringLiteral("mcp files__read_file"));
    // Tool names match exactly, so a lower-case "bash" is just a name.
    EXPECT_EQ(generatePreview(QStringLiteral("bash"), bash(QStringLiteral("ls"))), QStringLiteral("bash"));
}

TEST(ApprovalSerializationPriority, FlagsOnlyDestructiveBashCommands)
{
    const QString name = QStringLiteral("Bash");
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("git push -f origin main"))), 1);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("git push -f"))), 0);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("sudo RM -RF /"))), 1);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("git push --force"))), 1);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("dd if=/dev/zero of=x"))), 1);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("mkfs.ext4 /dev/sdb"))), 1);
    EXPECT_EQ(inferPriority(name, bash(QStringLiteral("ls -la"))), 0);
    EXPECT_EQ(inferPriority(name, { { QStringLiteral("command"), 1 } }), 0);
    EXPECT_EQ(inferPriority(QStringLiteral("Write"), bash(QStringLiteral("rm -rf /"))), 0);
}

TEST(ApprovalSerializationPermissions, OnlyASessionAllowRemembersAWholeTool)
{
    const QString bashName = QStringLiteral("Bash");
    EXPECT_FALSE(buildUpdatedPermissions(PermissionScope::Once, QStringLiteral("Bash(ls)"), bashName));
    EXPECT_FALSE(buildUpdatedPermissions(PermissionScope::Session, std::nullopt, QString()));

    // Without rule text a settings file would allow every later call of the tool for good.
    const std::pair<PermissionScope, bool> bareCases[]
        = { { PermissionScope::Session, true }, { PermissionScope::LocalSettings, false },
              { PermissionScope::ProjectSettings, false }, { PermissionScope::UserSettings, false } };
    for (const auto& [scope, remembered] : bareCases) {
        for (const std::optional<QString>& noRule : { std::optional<QString>(), std::optional(QString()) }) {
            const auto bare = buildUpdatedPermissions(scope, noRule, bashName);
            ASSERT_EQ(bare.has_value(), remembered) << toString(scope).toStdString();
            if (bare) {
                const QJsonArray expected { QJsonObject { { QStringLiteral("type"), QStringLiteral("addRules") },
                    { QStringLiteral("behavior"), QStringLiteral("allow") },
                    { QStringLiteral("destination"), QStringLiteral("session") },
                    { QStringLiteral("rules"),
                        QJsonArray { QJsonObject { { QStringLiteral("toolName"), bashName } } } } } };
                EXPECT_EQ(*bare, expected);
            }
        }
        const auto withRule = buildUpdatedPermissions(scope, QStringLiteral("npm test"), bashName);
        ASSERT_TRUE(withRule) << toString(scope).toStdString();
        EXPECT_EQ(withRule->at(0)[QStringLiteral("destination")].toString(), toString(scope));
        EXPECT_EQ(withRule->at(0)[QStringLiteral("rules")].toArray(),
            (QJsonArray { QJsonObject { { QStringLiteral("ruleContent"), QStringLiteral("npm test") },
                { QStringLiteral("toolName"), bashName } } }));
    }
}

TEST(ApprovalSerializationResponse, WritesExactReplyTexts)
{
    using D = ApprovalDecision;
    const QString bashName = QStringLiteral("Bash");
    const QString allowPlain = QStringLiteral(
        R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})");
    const QString denyPlain = QStringLiteral(
        R"({"hookSpecificOutput":{"decision":{"behavior":"deny"},"hookEventName":"PermissionRequest"}})");

    EXPECT_EQ(responseBody(D::allow(PermissionScope::Once), bashName), allowPlain);
    EXPECT_EQ(responseBody(D::allow(PermissionScope::ProjectSettings), bashName), allowPlain);
    EXPECT_EQ(responseBody(D::allow(PermissionScope::Once, QStringLiteral("Bash(ls)")), bashName), allowPlain);
    EXPECT_EQ(responseBody(D::deny(), bashName), denyPlain);
    EXPECT_EQ(responseBody(D::deny(QString()), bashName), denyPlain);
    EXPECT_EQ(responseBody(D::deny(QStringLiteral("no")), bashName),
        QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"no"},)"
                       R"("hookEventName":"PermissionRequest"}})"));
    EXPECT_EQ(responseBody(D::failOpen(), bashName), QStringLiteral("{}"));
    EXPECT_EQ(responseBody(D::allow(PermissionScope::Session), bashName),
        QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":)"
                       R"([{"behavior":"allow","destination":"session","rules":[{"toolName":"Bash"}],)"
                       R"("type":"addRules"}]},"hookEventName":"PermissionRequest"}})"));
}

TEST(ApprovalSerializationResponse, EscapesSlashesAndStaysValidJson)
{
    const QString rule = QStringLiteral("Read(/etc/**)");
    const QString body
        = responseBody(ApprovalDecision::allow(PermissionScope::ProjectSettings, rule), QStringLiteral("Read"));
    EXPECT_EQ(body,
        QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":)"
                       R"([{"behavior":"allow","destination":"projectSettings","rules":)"
                       R"json([{"ruleContent":"Read(\/etc\/**)","toolName":"Read"}],"type":"addRules"}]},)json"
                       R"("hookEventName":"PermissionRequest"}})"));

    QJsonParseError error {};
    const QJsonDocument parsed = QJsonDocument::fromJson(body.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    const QJsonValue ruleContent
        = parsed[QStringLiteral("hookSpecificOutput")][QStringLiteral("decision")][QStringLiteral("updatedPermissions")]
                [0][QStringLiteral("rules")][0][QStringLiteral("ruleContent")];
    EXPECT_EQ(ruleContent.toString(), rule);
}

} // namespace
} // namespace murmeli::hooks::ApprovalSerialization
