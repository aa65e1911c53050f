#include "main/hooks/approvals/ApprovalTypes.h"

#include <gtest/gtest.h>

namespace murmeli::hooks {
namespace {

ApprovalRequest sampleRequest()
{
    return ApprovalRequest { QStringLiteral("tu-1"), QStringLiteral("Bash"), QStringLiteral("ls"),
        QByteArrayLiteral("{\"command\":\"ls\"}"), QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC),
        QStringLiteral("why"), QStringLiteral("abcdefgh"), 0 };
}

TEST(ApprovalTypesRequest, EveryFieldTakesPartInEquality)
{
    const ApprovalRequest base = sampleRequest();
    EXPECT_EQ(sampleRequest(), base);

    ApprovalRequest later = base;
    later.enqueuedAt = base.enqueuedAt.addMSecs(1);
    EXPECT_NE(later, base);

    ApprovalRequest otherBytes = base;
    otherBytes.rawInputJSON = QByteArrayLiteral("{\"command\":\"ls \"}");
    EXPECT_NE(otherBytes, base);

    ApprovalRequest dangerous = base;
    dangerous.priority = 1;
    EXPECT_NE(dangerous, base);
}

TEST(ApprovalTypesDecision, AbsentAndEmptyPayloadsDiffer)
{
    using D = ApprovalDecision;
    EXPECT_NE(D::allow(PermissionScope::Session), D::allow(PermissionScope::Session, QString()));
    EXPECT_NE(D::deny(), D::deny(QString()));
    EXPECT_EQ(D::allow(PermissionScope::Session, QStringLiteral("r")),
        D::allow(PermissionScope::Session, QStringLiteral("r")));
    EXPECT_NE(D::allow(PermissionScope::Session, QStringLiteral("r")),
        D::allow(PermissionScope::Session, QStringLiteral("s")));
    EXPECT_EQ(D::deny(QStringLiteral("no")), D::deny(QStringLiteral("no")));
}

TEST(ApprovalTypesDecision, KindsAndScopesNeverMatchEachOther)
{
    using D = ApprovalDecision;
    // allow(once) and deny() leave the same payload fields empty, so only the kind tells them apart.
    EXPECT_NE(D::allow(PermissionScope::Once), D::deny());
    EXPECT_NE(D::allow(PermissionScope::Once), D::failOpen());
    EXPECT_NE(D::deny(), D::failOpen());
    EXPECT_NE(D::allow(PermissionScope::Once), D::allow(PermissionScope::Session));
    EXPECT_EQ(D::failOpen(), D());
}

TEST(ApprovalTypesDecision, NamesScopesAndDescribesDecisions)
{
    EXPECT_EQ(toString(PermissionScope::Once), QStringLiteral("once"));
    EXPECT_EQ(toString(PermissionScope::Session), QStringLiteral("session"));
    EXPECT_EQ(toString(PermissionScope::LocalSettings), QStringLiteral("localSettings"));
    EXPECT_EQ(toString(PermissionScope::ProjectSettings), QStringLiteral("projectSettings"));
    EXPECT_EQ(toString(PermissionScope::UserSettings), QStringLiteral("userSettings"));

    EXPECT_EQ(describe(ApprovalDecision::allow(PermissionScope::Session, QStringLiteral("secret"))),
        QStringLiteral("allow(session)"));
    EXPECT_EQ(describe(ApprovalDecision::deny(QStringLiteral("secret"))), QStringLiteral("deny"));
    EXPECT_EQ(describe(ApprovalDecision::failOpen()), QStringLiteral("failOpen"));
}

TEST(ApprovalTypesSnapshot, TotalCountsTheActiveRequest)
{
    EXPECT_EQ((PendingSnapshot { std::nullopt, 2 }).queueTotal(), 2);
    EXPECT_EQ((PendingSnapshot { sampleRequest(), 0 }).queueTotal(), 1);
    EXPECT_EQ((PendingSnapshot { sampleRequest(), 3 }).queueTotal(), 4);
}

} // namespace
} // namespace murmeli::hooks
