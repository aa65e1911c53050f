#include <gtest/gtest.h>

#include "main/settings/AccessibilityStatus.h"
#include "main/settings/HotwordsFilter.h"
#include "main/settings/ProxyInput.h"
#include "main/settings/SttStatus.h"

using namespace murmeli::settings;

// The cloud switch's help line for each backend, sign-in state, balance and streaming state.
TEST(PageTextTest, CloudStatusLines)
{
    struct Row {
        const char* backend;
        bool notSignedIn;
        qint64 minutes;
        const char* state;
        const char* line;
    };
    const Row rows[] = {
        { "apple-stt", false, 42, "ready", "Off — falling back to on-device ASR (free · offline)." },
        { "murmeli-cloud", true, 42, "ready", "Sign in required" },
        { "murmeli-cloud", false, -1, "connecting", "Checking balance… · Connecting…" },
        { "murmeli-cloud", false, 0, "", "0 minutes — refill to continue" },
        { "murmeli-cloud", false, 42, "ready", "42 minutes remaining · Active" },
        { "murmeli-cloud", false, 42, "inTurn", "42 minutes remaining · Active" },
        { "murmeli-cloud", false, 42, "disconnected", "42 minutes remaining · Disconnected" },
        { "murmeli-cloud", false, 42, "idle", "42 minutes remaining" },
        { "murmeli-cloud", false, 42, "shuttingDown", "42 minutes remaining" },
        { "cloud-streaming", false, 1, "", "1 minutes remaining" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SttStatus::cloudStatusLine(
                      QString::fromUtf8(row.backend), row.notSignedIn, row.minutes, QString::fromUtf8(row.state)),
            QString::fromUtf8(row.line));
    }
    EXPECT_EQ(SttStatus::proxyHelpLine(QStringLiteral("127.0.0.1"), 10080), QStringLiteral("127.0.0.1:10080"));
    EXPECT_TRUE(SttStatus::proxyHelpLine(QStringLiteral("127.0.0.1"), 0).startsWith(QStringLiteral("Off.")));
    EXPECT_EQ(
        SttStatus::hotwordsHelpLine(true, 1), QStringLiteral("1 custom term · editing temporarily read-only (I-325)"));
    EXPECT_EQ(
        SttStatus::hotwordsHelpLine(true, 2), QStringLiteral("2 custom terms · editing temporarily read-only (I-325)"));
    EXPECT_TRUE(SttStatus::hotwordsHelpLine(true, 0).startsWith(QStringLiteral("No custom terms")));
    EXPECT_EQ(SttStatus::hotwordsHelpLine(false, 3), QStringLiteral("Unavailable"));
}

// The hotwords viewer's search: blanks around the query do not count, case is ignored both ways, scripts without
// case match as they are, duplicates stay.
TEST(PageTextTest, HotwordSearch)
{
    const QStringList list { "api", "Api", "API gateway", "转写", "api", " padded " };
    struct Row {
        const char* query;
        QStringList found;
    };
    const Row rows[] = {
        { "   ", list },
        { "API", { "api", "Api", "API gateway", "api" } },
        { "\tapi ", { "api", "Api", "API gateway", "api" } },
        { "写", { "转写" } },
        { "padded", { " padded " } },
        { "nothing", {} },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(HotwordsFilter::filtered(list, QString::fromUtf8(row.query)), row.found) << row.query;
    }
}

// The proxy fields as typed: trimmed of spaces and tabs, the port a decimal with an optional sign, anything else 0.
TEST(PageTextTest, ProxyFields)
{
    struct Row {
        const char* host;
        const char* port;
        ProxyInput input;
    };
    const Row rows[] = {
        { " \t127.0.0.1\t ", " 10080 ", { "127.0.0.1", 10080 } },
        { "proxy.local", "+8080", { "proxy.local", 8080 } },
        { "proxy.local", "-5", { "proxy.local", -5 } },
        { "proxy.local", "70000", { "proxy.local", 70000 } },
        { "proxy.local", "80 80", { "proxy.local", 0 } },
        { "proxy.local", "0x50", { "proxy.local", 0 } },
        { "proxy.local", "", { "proxy.local", 0 } },
        { "   ", "8080", { "", 8080 } },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ProxyInput::parse(QString::fromUtf8(row.host), QString::fromUtf8(row.port)), row.input)
            << row.host << " " << row.port;
    }
}

// The accessibility row: first matching state wins; a blocked desktop says why.
TEST(PageTextTest, AccessibilityStates)
{
    using AccessibilityStatus::State;
    const InjectionSupport yes { true, {} };
    const InjectionSupport no { false, QStringLiteral("The X server has no XTEST extension.") };
    struct Row {
        std::optional<InjectionSupport> support;
        bool revokedSeen;
        State state;
        const char* badge;
    };
    const Row rows[] = {
        { std::nullopt, true, State::Unavailable, "Unavailable" },
        { no, true, State::Blocked, "Blocked" },
        { yes, true, State::Stale, "Stale (recent silent-fail)" },
        { yes, false, State::Granted, "Granted" },
    };
    for (const Row& row : rows) {
        const State state = AccessibilityStatus::state(row.support, row.revokedSeen);
        EXPECT_EQ(state, row.state) << row.badge;
        EXPECT_EQ(AccessibilityStatus::badgeText(state), QString::fromUtf8(row.badge));
    }
    EXPECT_TRUE(AccessibilityStatus::helpText(no, false).endsWith(no.reason));
    EXPECT_NE(AccessibilityStatus::helpText(yes, true), AccessibilityStatus::helpText(yes, false));
}
