#include "main/voice/preferences/ProxySetting.h"

#include <gtest/gtest.h>

namespace murmeli::voice {

namespace {

TEST(ProxySettingTest, OnlyABareHostWithAPortInRangeOrTheSwitchedOffProxyMayBeStored)
{
    struct Row {
        QString host;
        qint64 port;
        // A word the refusal must contain; nullptr when the setting is accepted.
        const char* refusalMentions;
    };
    const Row rows[] = {
        { QString(), 0, nullptr },
        { QStringLiteral("proxy.example.org"), 8080, nullptr },
        { QStringLiteral("127.0.0.1"), 1, nullptr },
        { QStringLiteral("::1"), 65535, nullptr },
        { QStringLiteral("proxy.example.org"), 0, "port" },
        { QStringLiteral("proxy.example.org"), -1, "port" },
        { QStringLiteral("proxy.example.org"), 65536, "port" },
        { QString(), 8080, "empty" },
        { QStringLiteral("http://proxy.example.org"), 8080, "scheme" },
        { QStringLiteral("proxy.example.org/path"), 8080, "path" },
        { QStringLiteral(" proxy.example.org"), 8080, "spaces" },
        { QStringLiteral("proxy example"), 8080, "spaces" },
        { QStringLiteral("proxy\u0007"), 8080, "spaces" },
        { QString(300, QLatin1Char('a')), 8080, "longer" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.host.toStdString() + ":" + std::to_string(row.port));
        const std::optional<QString> refusal = ProxySetting::validate(row.host, row.port);
        if (!row.refusalMentions) {
            EXPECT_FALSE(refusal.has_value()) << refusal->toStdString();
            continue;
        }
        ASSERT_TRUE(refusal.has_value());
        EXPECT_TRUE(refusal->contains(QLatin1String(row.refusalMentions))) << refusal->toStdString();
    }
}

} // namespace
} // namespace murmeli::voice
