#include "main/notch/model/ApprovalDetail.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace murmeli::notch {

namespace {

hooks::ApprovalRequest requestFor(const QString& toolName, const QByteArray& rawInput)
{
    return { QStringLiteral("tu-1"), toolName, QStringLiteral("preview"), rawInput, {}, {}, QStringLiteral("s1"), 0 };
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

TEST(ApprovalDetailTest, EveryFieldThatSaysWhatHappensIsWrittenOut)
{
    const struct {
        const char* what;
        QString tool;
        QJsonObject input;
        QString detail;
    } cases[] = {
        { "a shell command, without the agent's own description of it", "Bash",
            { { "command", "make && ./deploy.sh" }, { "description", "Build" }, { "run_in_background", true } },
            "$ make && ./deploy.sh\nrun_in_background: true" },
        { "a file and all that goes into it", "Write", { { "content", "line 1\nline 2" }, { "file_path", "/w/a.txt" } },
            "file_path: /w/a.txt\ncontent:\nline 1\nline 2" },
        { "an edit: the file, then what is replaced by what", "Edit",
            { { "new_string", "b" }, { "old_string", "a" }, { "file_path", "/w/x.c" } },
            "file_path: /w/x.c\nold_string: a\nnew_string: b" },
        { "a tool nobody described: every field, in key order", "mcp__files__move",
            { { "to", "/b" }, { "from", "/a" }, { "force", QJsonArray { 1, "x" } } },
            "force: [1,\"x\"]\nfrom: /a\nto: /b" },
        { "a known tool with a field of a later version", "Read", { { "file_path", "/etc/hosts" }, { "pages", "1-2" } },
            "file_path: /etc/hosts\npages: 1-2" },
        { "nothing to say", "ExitPlanMode", {}, "" },
    };
    for (const auto& c : cases) {
        const PendingApproval approval = ApprovalDetail::of(requestFor(c.tool, json(c.input)));
        EXPECT_EQ(approval.detail, c.detail) << c.what;
        EXPECT_EQ(approval.omittedCharacters, 0) << c.what;
    }
    EXPECT_EQ(ApprovalDetail::of(requestFor("Bash", "not json")).detail, QString());
}

TEST(ApprovalDetailTest, WhatWouldHideOrReorderTextIsShownAsAnEscape)
{
    // A right-to-left override can make "| sh" read as something else; an escape sequence could steer a terminal.
    const QString command = QStringLiteral("echo \u202Ehs | x\u202C\tok\nrm\u200B -rf \x1b[2K\r/");
    EXPECT_EQ(ApprovalDetail::of(requestFor("Bash", json({ { "command", command } }))).detail,
        QStringLiteral("$ echo \\u202ehs | x\\u202c\tok\nrm\\u200b -rf \\x1b[2K\\r/"));
}

TEST(ApprovalDetailTest, AnInputTooLargeToLayOutKeepsItsBothEndsAndSaysWhatIsLeftOut)
{
    // The end matters most: that is where a chained command puts its last step. A character outside the basic plane
    // that the cut would split goes with the part left out.
    constexpr qsizetype half = ApprovalDetail::maxCharacters / 2;
    const QString command = QString(half - 3, QChar(0x263A)) + QStringLiteral("\U0001F600")
        + QString(100'000, QChar(0x263A)) + QStringLiteral(" | sh ZEBRAFINCH");
    const PendingApproval approval = ApprovalDetail::of(requestFor("Bash", json({ { "command", command } })));
    const QString whole = QStringLiteral("$ ") + command;
    EXPECT_EQ(approval.omittedCharacters, whole.size() - ApprovalDetail::maxCharacters + 1);
    EXPECT_TRUE(approval.detail.startsWith(whole.left(half - 1) + QStringLiteral("\n[\u2026")));
    EXPECT_TRUE(approval.detail.endsWith(whole.right(half)));
    EXPECT_TRUE(approval.detail.contains(
        QStringLiteral("[\u2026 %1 characters left out \u2026]").arg(approval.omittedCharacters)));
}

} // namespace
} // namespace murmeli::notch
