#include "main/voice/streaming/ProxyEndpoint.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

TEST(ProxyEndpointTest, OnlyABareHostAndAPortInRangeMayBeStored)
{
    struct Case {
        QString host;
        int port;
        std::optional<QString> problem;
    };
    const std::vector<Case> cases = {
        { "127.0.0.1", 10080, std::nullopt },
        { "proxy.corp.example", 1, std::nullopt },
        { "::1", 65535, std::nullopt },
        { "", 8080, "The proxy host is empty" },
        { "http://proxy", 8080,
            "The proxy host must be a bare host name or address, without a scheme such as http://" },
        { "socks5://proxy", 1080,
            "The proxy host must be a bare host name or address, without a scheme such as http://" },
        { "proxy corp", 8080, "The proxy host must not contain spaces" },
        { "proxy\t", 8080, "The proxy host must not contain spaces" },
        { "proxy", 0, "The proxy port must lie between 1 and 65535, not 0" },
        { "proxy", -3, "The proxy port must lie between 1 and 65535, not -3" },
        { "proxy", 65536, "The proxy port must lie between 1 and 65535, not 65536" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host.toStdString() + ":" + std::to_string(c.port));
        EXPECT_EQ(proxyEndpointProblem(c.host, c.port), c.problem);
    }
}

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
