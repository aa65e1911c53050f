#include "main/notch/model/SessionRowDisplay.h"

#include <gtest/gtest.h>

namespace murmeli::notch {

namespace {

TEST(SessionRowDisplayTest, AgeBadgeCountsWholeUnits)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const struct {
        qint64 agoMs;
        const char* badge;
    } cases[] = {
        { 0, "now" }, { 59'900, "now" }, { 60'000, "1m" }, { 3'599'000, "59m" }, { 3'600'000, "1h" },
        { 86'399'000, "23h" }, { 86'400'000, "1d" }, { 10 * 86'400'000LL + 5, "10d" },
        { -5'000'000, "now" }, // ahead of now
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionRowAgeBadge(now.addMSecs(-c.agoMs), now), c.badge) << c.agoMs;
    }
    EXPECT_EQ(sessionRowAgeBadge(QDateTime(), now), "now");
}

TEST(SessionRowDisplayTest, RemoteIsAnAddressOrAHostBeforeAColon)
{
    const struct {
        const char* cwd;
        bool remote;
    } cases[] = {
        { "ssh://build-box/home/dev/app", true },
        { "build-box:/home/dev/app", true },
        { "/home/dev/odd:name", false },
        { "relative/path", false },
        { "", false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionRowIsRemote(QString::fromUtf8(c.cwd)), c.remote) << c.cwd;
    }
}

TEST(SessionRowDisplayTest, PresenceByStateAndAge)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const struct {
        SessionState state;
        qint64 agoSecs;
        SessionRowPresence presence;
    } cases[] = {
        { SessionState::working(), 299, SessionRowPresence::Active },
        { SessionState::working(), 300, SessionRowPresence::Inactive },
        { SessionState::compacting(), 10, SessionRowPresence::Active },
        { SessionState::pttActive(), 1000, SessionRowPresence::Inactive },
        { SessionState::working(), -60, SessionRowPresence::Active }, // updated ahead of now
        { SessionState::needsApproval(), 100'000, SessionRowPresence::Active },
        { SessionState::waitingForAnswer(), 100'000, SessionRowPresence::Active },
        { SessionState::error(QStringLiteral("boom")), 100'000, SessionRowPresence::Active },
        { SessionState::idle(), 0, SessionRowPresence::Inactive },
        { SessionState::noSession(), 0, SessionRowPresence::Inactive },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionRowPresence(c.state, now.addSecs(-c.agoSecs), now), c.presence)
            << toString(c.state).toStdString() << " " << c.agoSecs;
    }
}

TEST(SessionRowDisplayTest, ActivityLineByTool)
{
    const QString sixty = QString(50, QLatin1Char('a')) + QString(10, QLatin1Char('b'));
    // 55 family emoji, each one character made of several code points.
    QString emoji;
    for (int i = 0; i < 55; ++i) {
        emoji += QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    }
    const struct {
        const char* tool;
        QString preview;
        std::optional<QString> line;
    } cases[] = {
        { "Bash", QStringLiteral("  make test \n"), QStringLiteral("$ make test") },
        { "exec_command", sixty, QStringLiteral("$ ") + QString(50, QLatin1Char('a')) },
        { "Bash", emoji, QStringLiteral("$ ") + emoji.left(emoji.size() / 55 * 50) },
        { "Bash", QStringLiteral(" \t"), QStringLiteral("Running command") },
        { "Read", QStringLiteral("/home/dev/app/main.cpp"), QStringLiteral("Reading main.cpp") },
        { "Edit", QStringLiteral("src/"), QStringLiteral("Editing src") },
        { "Write", QStringLiteral("notes.md"), QStringLiteral("Writing notes.md") },
        { "Write", QString(), QStringLiteral("Writing file") },
        { "Grep", QString(), QStringLiteral("Searching") },
        { "Glob", QStringLiteral("**/*.h"), QStringLiteral("Glob **/*.h") },
        { "Grep", QStringLiteral("TODO "), QStringLiteral("Grep TODO") },
        { "WebFetch", QStringLiteral("   "), QStringLiteral("WebFetch") },
        { "WebFetch", QStringLiteral("https://example.org"), QStringLiteral("WebFetch https://example.org") },
        { "bash", QStringLiteral("ls"), QStringLiteral("bash ls") }, // names compare exactly
        { "", QStringLiteral("ls"), std::nullopt },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionRowActivityLine(QString::fromUtf8(c.tool), c.preview), c.line)
            << c.tool << " " << c.preview.toStdString();
    }
}

TEST(SessionRowDisplayTest, CommandLabelByTool)
{
    const struct {
        const char* tool;
        const char* label;
    } cases[] = {
        { "exec_command", "Bash" },
        { "Bash", "Bash" },
        { "AskUserQuestion", "Question" },
        { "apply_patch", "Patch" },
        { "", "Command" },
        { "MultiEdit", "Multiedit" },
        { "webFetch", "Webfetch" },
        { "todo write", "Todo Write" },
        { "BASH", "Bash" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sessionRowCommandLabel(QString::fromUtf8(c.tool)), c.label) << c.tool;
    }
}

} // namespace
} // namespace murmeli::notch
