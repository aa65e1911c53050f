#include "main/voice/streaming/ProxyEndpoint.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

TEST(ProxyEndpointTest, TheEnvironmentProxyIsAUrlWithHostAndExplicitPort)
{
    using Environment = std::map<std::string, QString>;
    struct Case {
        const char* name;
        Environment environment;
        std::optional<ProxyEndpoint> expected;
    };
    const std::vector<Case> cases = {
        { "lower case first", { { "https_proxy", "http://proxy.corp:3128" }, { "HTTPS_PROXY", "http://other:1" } },
            ProxyEndpoint { "proxy.corp", 3128 } },
        { "upper case when lower is absent", { { "HTTPS_PROXY", "http://10.0.0.2:8080/" } },
            ProxyEndpoint { "10.0.0.2", 8080 } },
        { "lower case set but empty hides upper case", { { "https_proxy", "" }, { "HTTPS_PROXY", "http://p:1" } },
            std::nullopt },
        { "no explicit port", { { "https_proxy", "http://proxy.corp" } }, std::nullopt },
        { "no scheme, so no host", { { "https_proxy", "proxy.corp:3128" } }, std::nullopt },
        { "nothing set", {}, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto read = [&](const char* name) -> std::optional<QString> {
            const auto it = c.environment.find(name);
            return it == c.environment.end() ? std::nullopt : std::optional<QString>(it->second);
        };
        EXPECT_EQ(detectSystemProxy(read), c.expected);
    }
}

} // namespace
} // namespace murmeli::voice
