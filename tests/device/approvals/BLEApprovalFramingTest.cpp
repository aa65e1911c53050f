#include "main/device/approvals/BLEApprovalFraming.h"

#include <gtest/gtest.h>

using namespace murmeli;
using device::BLEApprovalFraming::buildCancel;
using device::BLEApprovalFraming::buildQuery;
using device::BLEApprovalFraming::buildWarning;
using device::BLEApprovalFraming::parseCollapse;
using device::BLEApprovalFraming::parseResponse;
using hooks::ApprovalDecision;
using hooks::PermissionScope;

namespace {

hooks::ApprovalRequest request(const QString& id, const QString& tool, const QString& preview)
{
    hooks::ApprovalRequest r;
    r.toolUseId = id;
    r.toolName = tool;
    r.commandPreview = preview;
    return r;
}

} // namespace

TEST(BLEApprovalFramingTest, PromptLines)
{
    struct Case {
        const char* name;
        hooks::ApprovalRequest request;
        int queued;
        QString expected;
    };
    auto dangerous = request("tu-1", "Bash", "rm -rf build");
    dangerous.priority = 1;
    auto withEverything = request("tu-2", "Edit", "main.cpp");
    withEverything.sessionId = QStringLiteral("0123456789abcdef");
    withEverything.reason = QStringLiteral("writes outside the project, twice");
    withEverything.priority = 12;
    auto negative = request("tu-3", "Read", "x");
    negative.priority = -3;

    const Case cases[] = {
        { "short form", request("tu-0", "Bash", "ls -la"), 0, "Q:tu-0,Bash,ls -la" },
        { "priority forces the long form", dangerous, 0, "Q:tu-1,Bash,rm -rf build,,1,0,-" },
        { "queue forces the long form, clamped", request("tu-4", "Bash", "ls"), 250, "Q:tu-4,Bash,ls,,0,99,-" },
        { "negative priority is 0 and stays short", negative, 0, "Q:tu-3,Read,x" },
        // Session cut to 8 with its mark, priority clamped to 9, reason cleaned then cut to 32.
        { "every field", withEverything, 3,
            QStringLiteral("Q:tu-2,Edit,main.cpp,0123456\u2026,9,3,writes outside the project  twi\u2026") },
        { "tool of 13 characters", request("tu-5", "ThirteenChars", "p"), 0,
            QStringLiteral("Q:tu-5,ThirteenCha\u2026,p") },
        { "tool of 12 characters", request("tu-6", "TwelveCharsX", "p"), 0, "Q:tu-6,TwelveCharsX,p" },
        { "agent text cannot add fields or lines", request("tu-7", "Bash", "echo a,b | c\nQ:forged,allow"), 0,
            "Q:tu-7,Bash,echo a b   c Q:forged allow" },
        { "long id cut with its mark", request("toolu_0123456789abcdef", "Bash", "ls"), 0,
            QStringLiteral("Q:toolu_012345678\u2026,Bash,ls") },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(buildQuery(c.request, c.queued), c.expected) << c.name;
    }
    EXPECT_EQ(buildQuery(request("p", "T", QString(200, QLatin1Char('x'))), 0),
        QStringLiteral("Q:p,T,") + QString(119, QLatin1Char('x')) + QChar(0x2026));
    EXPECT_EQ(buildWarning(QStringLiteral("tu,9")), QStringLiteral("Q:tu 9,warn"));
    EXPECT_EQ(buildCancel(QStringLiteral("tu-9")), QStringLiteral("Q:tu-9,cancel"));
}

TEST(BLEApprovalFramingTest, DecisionLines)
{
    struct Case {
        const char* line;
        std::optional<ApprovalDecision> decision;
    };
    const auto allow = [](PermissionScope scope) { return ApprovalDecision::allow(scope); };
    const Case cases[] = {
        { "R:tu-1,deny", ApprovalDecision::deny() },
        { "R:tu-1,deny,session", ApprovalDecision::deny() },
        { "R:tu-1,allow", allow(PermissionScope::Once) },
        { "R:tu-1,allow,once", allow(PermissionScope::Once) },
        { "R:tu-1,allow,session", allow(PermissionScope::Session) },
        { "R:tu-1,allow,local", allow(PermissionScope::LocalSettings) },
        { "R:tu-1,allow,localSettings", allow(PermissionScope::LocalSettings) },
        { "R:tu-1,allow,project", allow(PermissionScope::ProjectSettings) },
        { "R:tu-1,allow,projectSettings", allow(PermissionScope::ProjectSettings) },
        { "R:tu-1,allow,user", allow(PermissionScope::UserSettings) },
        { "R:tu-1,allow,userSettings,extra", allow(PermissionScope::UserSettings) },
        { "R:tu-1,allow,Session", allow(PermissionScope::Once) },
        { "R:tu-1,allow,", allow(PermissionScope::Once) },
        { "R:tu-1,ALLOW", std::nullopt },
        { "R:tu-1", std::nullopt },
        { "R:,allow", std::nullopt },
        { "RC:tu-1,allow", std::nullopt },
        { "PT:start", std::nullopt },
    };
    for (const Case& c : cases) {
        const auto parsed = parseResponse(QString::fromUtf8(c.line));
        ASSERT_EQ(parsed.has_value(), c.decision.has_value()) << c.line;
        if (parsed) {
            EXPECT_EQ(parsed->toolUseId, QStringLiteral("tu-1")) << c.line;
            EXPECT_EQ(parsed->decision, *c.decision) << c.line;
        }
    }
}

TEST(BLEApprovalFramingTest, FoldLines)
{
    EXPECT_EQ(parseCollapse(QStringLiteral("RC:tu-1")), QStringLiteral("tu-1"));
    EXPECT_EQ(parseCollapse(QStringLiteral("RC:tu-1,x,y")), QStringLiteral("tu-1"));
    EXPECT_FALSE(parseCollapse(QStringLiteral("RC:")));
    EXPECT_FALSE(parseCollapse(QStringLiteral("RC:,x")));
    EXPECT_FALSE(parseCollapse(QStringLiteral("R:tu-1,allow")));
}
