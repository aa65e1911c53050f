#include "main/cloud/api/HttpReplyReader.h"

#include <gtest/gtest.h>

namespace murmeli::cloud {
namespace {

using State = HttpReplyReader::State;

constexpr qint64 headLimit = 256;
constexpr qint64 bodyLimit = 10;

struct Read {
    State state;
    int status = 0;
    QByteArray body;
    bool operator==(const Read&) const = default;
};

/// Feeds wire in one piece or a byte at a time (every split must give the same), then the close when asked.
Read readAll(const QByteArray& wire, bool closed, bool bytewise)
{
    HttpReplyReader reader(headLimit, bodyLimit);
    if (bytewise) {
        for (const char c : wire) {
            reader.feed(QByteArrayView(&c, 1));
        }
    } else {
        reader.feed(wire);
    }
    const State state = closed ? reader.finish() : reader.state();
    return { state, state == State::Done ? reader.status() : 0, state == State::Done ? reader.body() : QByteArray() };
}

TEST(HttpReplyReaderTest, FramingAndLimits)
{
    struct Row {
        const char* name;
        QByteArray wire;
        bool closed;
        Read read;
    };
    const QByteArray fields = QByteArray("X-Filler: ").append(QByteArray(headLimit, 'y')) + "\r\n\r\n";
    const Row rows[] = {
        { "length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello+junk", false, { State::Done, 200, "hello" } },
        { "bare line ends, no reason", "HTTP/1.0 404\nContent-Length: 2\n\nno", false, { State::Done, 404, "no" } },
        { "chunks, extension, trailer",
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n"
            "2\r\nde\r\n0\r\nX-Trailer: 1\r\n\r\n",
            false, { State::Done, 200, "abcde" } },
        { "to the close", "HTTP/1.1 200 OK\r\n\r\nabc", true, { State::Done, 200, "abc" } },
        { "interim head skipped", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", false,
            { State::Done, 204, "" } },
        { "body of exactly the limit", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123456789", false,
            { State::Done, 200, "0123456789" } },
        { "declared length past the limit, nothing read", "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n", false,
            { State::Oversized, 0, {} } },
        { "chunks past the limit", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n6\r\nabcdef\r\n5\r\n", false,
            { State::Oversized, 0, {} } },
        { "body to the close past the limit", "HTTP/1.1 200 OK\r\n\r\n0123456789A", false,
            { State::Oversized, 0, {} } },
        { "head past the limit", "HTTP/1.1 200 OK\r\n" + fields, false, { State::Oversized, 0, {} } },
        { "no HTTP, known at once", "SSH-2", false, { State::NotHttp, 0, {} } },
        { "HTTP/2 status line", "HTTP/2 200\r\n\r\n", false, { State::NotHttp, 0, {} } },
        { "lengths that disagree", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n", false,
            { State::Broken, 0, {} } },
        { "chunk size that is no number", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
            { State::Broken, 0, {} } },
        { "closed inside the body", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", true, { State::Broken, 0, {} } },
        { "closed before anything", "", true, { State::Broken, 0, {} } },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(readAll(row.wire, row.closed, false), row.read) << row.name;
        EXPECT_EQ(readAll(row.wire, row.closed, true), row.read) << row.name << ", a byte at a time";
    }
}

TEST(HttpReplyReaderTest, RepeatedFieldsAreJoinedAsQtDoes)
{
    HttpReplyReader reader(headLimit, bodyLimit);
    reader.feed(
        "HTTP/1.1 429 Too Many\r\nRetry-After: 30\r\nX-Note: a\r\n b\r\nretry-after: 40\r\nContent-Length: 0\r\n\r\n");
    ASSERT_EQ(reader.state(), State::Done);
    EXPECT_EQ(HttpReplyReader::find(reader.headers(), "RETRY-AFTER"), QByteArray("30, 40"));
    EXPECT_EQ(HttpReplyReader::find(reader.headers(), "x-note"), QByteArray("a b"));
}

} // namespace
} // namespace murmeli::cloud
