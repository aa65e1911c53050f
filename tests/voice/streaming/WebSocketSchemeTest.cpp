#include "main/voice/streaming/WebSocketScheme.h"

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

TEST(WebSocketSchemeTest, SecureAndPlainWebSchemesBecomeTheirSocketSchemes)
{
    const std::vector<std::pair<QString, QString>> cases = {
        { "https://api.murmeli.example", "wss://api.murmeli.example" },
        { "http://127.0.0.1:8787", "ws://127.0.0.1:8787" },
        { "https://a/x?next=http://b", "wss://a/x?next=ws://b" },
        { "HTTPS://upper.example", "HTTPS://upper.example" },
        { "wss://already", "wss://already" },
        { "", "" },
    };
    for (const auto& [given, expected] : cases) {
        EXPECT_EQ(asWebSocketScheme(given), expected) << given.toStdString();
    }
}

TEST(WebSocketSchemeTest, AnEndpointNeedsASocketSchemeAndAHost)
{
    const std::vector<std::pair<QString, std::optional<QString>>> cases = {
        { "https://api.example", "wss://api.example/ws/transcribe-v3" },
        { "http://127.0.0.1:9000", "ws://127.0.0.1:9000/ws/transcribe-v3" },
        { "ftp://api.example", std::nullopt },
        { "api.example", std::nullopt },
        { "https://", std::nullopt },
        { "https://bad host", std::nullopt },
    };
    for (const auto& [worker, expected] : cases) {
        SCOPED_TRACE(worker.toStdString());
        const std::optional<QUrl> url = webSocketEndpoint(worker, QStringLiteral("/ws/transcribe-v3"));
        ASSERT_EQ(url.has_value(), expected.has_value());
        if (url) {
            EXPECT_EQ(url->toString(), *expected);
        }
    }
}

} // namespace
} // namespace murmeli::voice
