#include "main/app/panel/SessionRowDisplay.h"

#include <gtest/gtest.h>

namespace murmeli::app {
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

} // namespace
} // namespace murmeli::app
