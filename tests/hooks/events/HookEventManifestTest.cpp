#include <gtest/gtest.h>

#include "main/hooks/events/HookEventManifest.h"

using namespace murmeli::hooks;

TEST(HookEventTypeTest, NamesMatchExactlyAndCaseSensitively)
{
    EXPECT_EQ(hookEventTypeFromString(QStringLiteral("Stop")), HookEventType::Stop);
    EXPECT_EQ(hookEventTypeFromString(QStringLiteral("stop")), std::nullopt);
    EXPECT_EQ(hookEventTypeFromString(QStringLiteral("Status")), std::nullopt);
    EXPECT_EQ(hookEventTypeFromString(QStringLiteral("status")), HookEventType::Status);
    EXPECT_EQ(hookEventTypeFromString(QString()), std::nullopt);
    EXPECT_EQ(hookEventTypeFromString(QStringLiteral("Stop?x=1")), std::nullopt);
    for (const HookEventType type : allHookEventTypes()) {
        EXPECT_EQ(hookEventTypeFromString(toString(type)), type) << toString(type).toStdString();
    }
}

TEST(HookEventManifestTest, TableHasOneRowPerEventInOrder)
{
    const auto& rows = HookEventManifest::all();
    ASSERT_EQ(rows.size(), hookEventTypeCount);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].name, allHookEventTypes()[i]);
    }
}

TEST(HookEventManifestTest, OnlyPermissionRequestIsHeldOpen)
{
    for (const HookEventType type : allHookEventTypes()) {
        EXPECT_EQ(HookEventManifest::isAsync(type), type == HookEventType::PermissionRequest)
            << toString(type).toStdString();
    }
}

TEST(HookEventManifestTest, RowsCarryScriptArgumentsAndMatchers)
{
    const auto end = HookEventManifest::descriptor(HookEventType::SessionEnd);
    ASSERT_TRUE(end);
    EXPECT_EQ(end->hookScript, QStringLiteral("session-hook"));
    EXPECT_EQ(end->hookArgs, QStringLiteral("SessionEnd"));
    EXPECT_FALSE(end->matcher.has_value());

    const auto tool = HookEventManifest::descriptor(HookEventType::PostToolUse);
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->hookScript, QStringLiteral("tool-hook"));
    EXPECT_TRUE(tool->hookArgs.isEmpty());
    EXPECT_EQ(tool->matcher, QStringLiteral("Bash|Edit|Write|Agent|mcp__.*"));

    EXPECT_EQ(HookEventManifest::descriptor(HookEventType::PermissionRequest)->matcher, QStringLiteral("*"));
    EXPECT_EQ(HookEventManifest::descriptor(HookEventType::SessionStart)->matcher,
        QStringLiteral("startup|resume|clear|compact"));
    EXPECT_EQ(HookEventManifest::descriptor(HookEventType::StopFailure)->matcher, QStringLiteral(".*"));
    EXPECT_EQ(HookEventManifest::descriptor(HookEventType::Notification)->hookScript, QStringLiteral("notify-hook"));
}

TEST(HookEventManifestTest, RequiredHooksAreEverythingButTheStatusLine)
{
    const QStringList names = HookEventManifest::requiredHookNames();
    ASSERT_EQ(names.size(), 18);
    EXPECT_EQ(names.first(), QStringLiteral("PostToolUse"));
    EXPECT_EQ(names.last(), QStringLiteral("ElicitationResult"));
    EXPECT_FALSE(names.contains(QStringLiteral("status")));
    EXPECT_FALSE(HookEventManifest::descriptor(HookEventType::Status)->requiresInstallHooks);
}
