#include <gtest/gtest.h>

#include "main/hooks/server/HttpRequest.h"

using namespace murmeli::hooks;
using http::Framing;

namespace {

QByteArray request(const QByteArray& head, const QByteArray& body)
{
    return head + "\r\n\r\n" + body;
}

Framing framingOf(const QByteArray& buffer)
{
    return http::framingOf(buffer, http::parseHead(buffer));
}

constexpr quint16 port = 19876;

http::Verdict evaluate(const QByteArray& data, const std::optional<QString>& secret)
{
    return http::evaluate(data, http::parseHead(data), secret ? QStringList { *secret } : QStringList(), port);
}

http::Reply replyOf(const http::Verdict& verdict)
{
    const auto* reply = std::get_if<http::Reply>(&verdict);
    return reply ? *reply : http::Reply { -1, {} };
}

} // namespace

TEST(HttpFramingTest, WaitsForHeadersAndDeclaredBody)
{
    EXPECT_EQ(framingOf("POST /hook/Stop HTTP/1.1\r\nContent-Length: 4\r\n"), Framing::Incomplete);
    EXPECT_EQ(framingOf(request("POST /hook/Stop HTTP/1.1\r\nContent-Length: 4", "ab")), Framing::Incomplete);
    EXPECT_EQ(framingOf(request("POST /hook/Stop HTTP/1.1\r\nContent-Length: 4", "abcd")), Framing::Complete);
    // No Content-Length means no body to wait for.
    EXPECT_EQ(framingOf(request("POST /hook/Stop HTTP/1.1\r\nHost: x", "")), Framing::Complete);
    // Content-Length as the last header line, value padded with spaces and tabs, name in any case.
    EXPECT_EQ(
        framingOf(request("POST /hook/Stop HTTP/1.1\r\nhost: x\r\ncOnTeNt-LeNgTh:\t 3 \t", "ab")), Framing::Incomplete);
    EXPECT_EQ(
        framingOf(request("POST /hook/Stop HTTP/1.1\r\nhost: x\r\ncOnTeNt-LeNgTh:\t 3 \t", "abc")), Framing::Complete);
}

TEST(HttpFramingTest, ContentLengthIsReadFromItsOwnHeaderOnly)
{
    // Another header that merely contains the name must not set the body length.
    EXPECT_EQ(framingOf(request("POST /hook/Stop HTTP/1.1\r\nX-Content-Length: 9\r\nContent-Length: 2", "ab")),
        Framing::Complete);
    EXPECT_EQ(framingOf(request("POST /hook/Stop HTTP/1.1\r\nX-Note: content-length: 9", "")), Framing::Complete);
    for (const QByteArray& value : { QByteArray("-1"), QByteArray("abc"), QByteArray(""), QByteArray("1e3"),
             QByteArray("+5"), QByteArray("5 5") }) {
        EXPECT_EQ(
            framingOf(request("POST /hook/Stop HTTP/1.1\r\nContent-Length: " + value, "xxxxx")), Framing::Malformed)
            << value.constData();
    }
}

TEST(HttpFramingTest, SizeCapAndImpossibleDeclarations)
{
    const QByteArray head = "POST /hook/Stop HTTP/1.1\r\nContent-Length: ";
    const auto sized = [&](qsizetype total) {
        // Build a request of exactly `total` bytes.
        const qsizetype overhead = head.size() + 6 + 4;
        const QByteArray body(total - overhead, 'a');
        const QByteArray length = QByteArray::number(body.size()).rightJustified(6, '0');
        return head + length + "\r\n\r\n" + body;
    };
    EXPECT_EQ(sized(http::maxRequestBytes).size(), http::maxRequestBytes);
    EXPECT_EQ(framingOf(sized(http::maxRequestBytes)), Framing::Complete);
    EXPECT_EQ(framingOf(sized(http::maxRequestBytes + 1)), Framing::TooLarge);
    EXPECT_EQ(framingOf(request(head + "999999999999999999999", "")), Framing::TooLarge);
    // Lengths a signed 64-bit number cannot hold: wrapped, they would read as negative or as the five bytes sent.
    for (const QByteArray& length :
        { QByteArray("9223372036854775808"), QByteArray("18446744073709551615"), QByteArray("18446744073709551621") }) {
        EXPECT_EQ(framingOf(request(head + length, "xxxxx")), Framing::TooLarge) << length.constData();
    }
}

TEST(HttpFramingTest, HeadParsedOnceServesTheGrowingRequest)
{
    const QByteArray head = "POST /hook/Stop HTTP/1.1\r\nauthorization: Bearer a\r\nAuthorization: Bearer b\r\n"
                            "X-Murmeli-Adapter:\tcodex \r\nContent-Length: 4\r\nContent-Length: 4\r\n\r\n";
    const http::RequestHead parsed = http::parseHead(head + "ab");
    EXPECT_EQ(parsed.bodyStart, head.size());
    EXPECT_EQ(http::framingOf(head + "ab", parsed), Framing::Incomplete);
    EXPECT_EQ(http::framingOf(head + "abcd", parsed), Framing::Complete);
    // The first header of a name counts.
    EXPECT_EQ(parsed.authorization, QStringLiteral("Bearer a"));
    const auto verdict = http::evaluate(head + "abcd", parsed, { QStringLiteral("a") }, port);
    const auto* delivery = std::get_if<http::Delivery>(&verdict);
    ASSERT_NE(delivery, nullptr);
    EXPECT_EQ(delivery->body, "abcd");
    EXPECT_EQ(delivery->adapter, QStringLiteral("codex"));

    // Before the blank line the whole buffer is head: a peer that leaves early is still judged by it.
    const http::RequestHead unfinished = http::parseHead("POST /hook/Stop HTTP/1.1\r\nAuthorization: Bearer b");
    EXPECT_EQ(unfinished.bodyStart, std::nullopt);
    EXPECT_EQ(unfinished.authorization, QStringLiteral("Bearer b"));
}

TEST(HttpFramingTest, LineEndsAreJudgedAsTheyArrive)
{
    const struct {
        QByteArray buffer;
        qsizetype from;
        http::HeadScan scan;
    } cases[] = {
        { "POST /hook/Stop HTTP/1.1\r\nHost: x\r\n", 0, http::HeadScan::Partial },
        { "POST /hook/Stop HTTP/1.1\r\nHost: x\r\n\r\n{\n}", 0, http::HeadScan::Whole },
        // The CR arrived with the earlier bytes, the LF with the new ones; so did the start of the blank line.
        { "POST /hook/Stop HTTP/1.1\r\n", 25, http::HeadScan::Partial },
        { "POST /hook/Stop HTTP/1.1\r\n\r\n", 26, http::HeadScan::Whole },
        { "POST /hook/Stop HTTP/1.1\n", 0, http::HeadScan::Malformed },
        { "POST /hook/Stop HTTP/1.1\r\nContent-Length: 2\n\n{}", 20, http::HeadScan::Malformed },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(http::scanHead(c.buffer, c.from), c.scan) << c.buffer.constData();
    }
}

TEST(HttpFramingTest, RequestEndsWithItsDeclaredBody)
{
    // Judged by length alone: a read may end inside a character, and a body that is not UTF-8 is refused as a whole.
    const QByteArray broken = request("POST /hook/Stop HTTP/1.1\r\nContent-Length: 2", "\xE2\x80");
    EXPECT_EQ(framingOf(broken), Framing::Complete);
    EXPECT_EQ(replyOf(evaluate(broken, std::nullopt)).body, "Bad request");
    EXPECT_EQ(replyOf(evaluate(request("POST /hook/\xff HTTP/1.1", ""), std::nullopt)).status, 400);

    // Bytes after the body belong to no request: not to the body, not to its encoding check.
    const auto verdict = evaluate(request("POST /hook/Stop HTTP/1.1\r\nContent-Length: 7",
                                      R"({"a":1})"
                                      "POST /hook/Next HTTP/1.1\xff"),
        std::nullopt);
    const auto* delivery = std::get_if<http::Delivery>(&verdict);
    ASSERT_NE(delivery, nullptr);
    EXPECT_EQ(delivery->payload().value(QStringLiteral("a")).toInt(), 1);
}

TEST(HttpEvaluateTest, BrowserRequestsAreRefused)
{
    const struct {
        QByteArray headers;
        int status;
    } cases[] = {
        { "", 200 },
        { "Host: 127.0.0.1", 200 },
        { "Host: 127.0.0.1:19876", 200 },
        { "host: LocalHost:19876", 200 },
        { "Host: localhost", 200 },
        { "Host: 127.0.0.1:19877", 403 },
        { "Host: evil.example:19876", 403 },
        { "Host: 127.0.0.1.evil.example", 403 },
        { "Host: localhost:", 403 },
        { "Host: [::1]:19876", 403 },
        { "Host: 127.0.0.1:19876\r\nContent-Type: text/plain\r\nOrigin: http://evil.example", 403 },
        { "Origin: null", 403 },
    };
    for (const auto& c : cases) {
        const QByteArray head = "POST /hook/Stop HTTP/1.1" + (c.headers.isEmpty() ? "" : "\r\n" + c.headers);
        const http::Verdict verdict = evaluate(request(head, "{}"), std::nullopt);
        EXPECT_EQ(std::holds_alternative<http::Delivery>(verdict) ? 200 : replyOf(verdict).status, c.status)
            << c.headers.constData();
    }
}

TEST(HttpEvaluateTest, ChecksRunInOrder)
{
    const std::optional<QString> none;
    EXPECT_EQ(replyOf(evaluate("\xff\xfe", none)).status, 400);
    EXPECT_EQ(replyOf(evaluate("", none)).status, 405);
    EXPECT_EQ(replyOf(evaluate(request("GET /hook/Stop HTTP/1.1", ""), none)).body, "Method not allowed");
    EXPECT_EQ(replyOf(evaluate(request("post /hook/Stop HTTP/1.1", ""), none)).status, 405);
    EXPECT_EQ(replyOf(evaluate(request("POST /other HTTP/1.1", ""), none)).body, "Not found");
    EXPECT_EQ(replyOf(evaluate(request("POST /hook/ HTTP/1.1", ""), none)).body, "Missing event type");

    const std::optional<QString> secret = QStringLiteral("s3cret");
    // The bearer check comes before the path check, the browser check between the method and the bearer.
    EXPECT_EQ(replyOf(evaluate(request("POST /other HTTP/1.1", ""), secret)).status, 401);
    EXPECT_EQ(replyOf(evaluate(request("GET /hook/Stop HTTP/1.1", ""), secret)).status, 405);
    EXPECT_EQ(replyOf(evaluate(request("GET /hook/Stop HTTP/1.1\r\nOrigin: x", ""), secret)).status, 405);
    EXPECT_EQ(replyOf(evaluate(request("POST /other HTTP/1.1\r\nOrigin: x", ""), secret)).status, 403);
}

TEST(HttpEvaluateTest, DeliveryCarriesEventNamePayloadAndAdapter)
{
    const QByteArray json = R"({"session_id":"abc","_murmeli_adapter":"x"})";
    auto verdict = evaluate(request("POST  /hook/Stop?x=1  HTTP/1.1\r\nX-Murmeli-Adapter: codex\r\nContent-Length: "
                                    + QByteArray::number(json.size()),
                                json),
        std::nullopt);
    auto* delivery = std::get_if<http::Delivery>(&verdict);
    ASSERT_NE(delivery, nullptr);
    EXPECT_EQ(delivery->eventName, QStringLiteral("Stop?x=1"));
    EXPECT_EQ(delivery->payload().value(QStringLiteral("session_id")).toString(), QStringLiteral("abc"));
    EXPECT_EQ(delivery->payload().value(QStringLiteral("_murmeli_adapter")).toString(), QStringLiteral("codex"));

    for (const QByteArray& body : { QByteArray("[1,2]"), QByteArray("not json"), QByteArray("42") }) {
        verdict
            = evaluate(request("POST /hook/Stop HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()), body),
                std::nullopt);
        delivery = std::get_if<http::Delivery>(&verdict);
        ASSERT_NE(delivery, nullptr);
        EXPECT_TRUE(delivery->payload().isEmpty());
    }
}

TEST(HttpAuthTest, BearerRules)
{
    const std::optional<QString> secret = QStringLiteral("tok");
    EXPECT_TRUE(http::isAuthorized(std::nullopt, std::nullopt));
    EXPECT_TRUE(http::isAuthorized(QString(), std::nullopt));
    EXPECT_FALSE(http::isAuthorized(secret, std::nullopt));
    EXPECT_FALSE(http::isAuthorized(secret, QStringLiteral("bearer tok")));
    EXPECT_FALSE(http::isAuthorized(secret, QStringLiteral("Bearer  tok")));
    EXPECT_FALSE(http::isAuthorized(secret, QStringLiteral("Bearer to")));
    EXPECT_FALSE(http::isAuthorized(secret, QStringLiteral("Bearer tok2")));
    EXPECT_TRUE(http::isAuthorized(secret, QStringLiteral("Bearer tok")));

    EXPECT_TRUE(http::constantTimeEquals(QString(), QString()));
    EXPECT_FALSE(http::constantTimeEquals(QStringLiteral("é"), QStringLiteral("e")));
    EXPECT_TRUE(http::constantTimeEquals(QStringLiteral("ünï"), QStringLiteral("ünï")));
}

TEST(HttpHeaderTest, ExtractHeaderMatchesWholeNamesUntilTheBlankLine)
{
    const QStringList lines { QStringLiteral("POST /hook/Stop HTTP/1.1"), QStringLiteral("X-Authorization: no"),
        QStringLiteral("AUTHORIZATION:  \tBearer a \t"), QStringLiteral(""), QStringLiteral("authorization: body") };
    EXPECT_EQ(http::extractHeader(QStringLiteral("authorization"), lines), QStringLiteral("Bearer a"));
    EXPECT_EQ(http::extractHeader(QStringLiteral("host"), lines), std::nullopt);
    // The request line itself is never taken for a header.
    EXPECT_EQ(http::extractHeader(
                  QStringLiteral("post /hook/stop http/1.1"), { QStringLiteral("POST /hook/Stop HTTP/1.1:") }),
        std::nullopt);
}

TEST(HttpReplyTest, ExactBytes)
{
    EXPECT_EQ(http::formatReply(200, http::okBody),
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\nConnection: "
        "close\r\n\r\n{\"ok\":true}");
    EXPECT_TRUE(http::formatReply(413, "Payload too large").startsWith("HTTP/1.1 413 Payload Too Large\r\n"));
    EXPECT_TRUE(http::formatReply(500, "x").startsWith("HTTP/1.1 500 Error\r\n"));
    EXPECT_TRUE(http::formatReply(503, "x").startsWith("HTTP/1.1 503 Service Unavailable\r\n"));
    // Content-Length counts bytes, not characters.
    EXPECT_TRUE(http::formatReply(200, "\xE2\x80\xA6").contains("Content-Length: 3\r\n"));
}

TEST(HttpUtf8Test, RejectsOverlongSurrogatesAndTruncation)
{
    EXPECT_TRUE(http::isValidUtf8("plain \xF0\x9F\x98\x80 \xE4\xB8\xAD"));
    EXPECT_FALSE(http::isValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(http::isValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(http::isValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_FALSE(http::isValidUtf8("\xE4\xB8"));
}
