#include "main/voice/capture/DeviceAudioStream.h"

#include <vector>

#include <gtest/gtest.h>

#include "main/voice/service/CloudTranscribe.h"

namespace murmeli::voice {

namespace {

TEST(DeviceAudioStreamTest, FramesOfAnySizeComeOutAsTheWholeTakeConvertedAtOnce)
{
    QByteArray mulaw(97, Qt::Uninitialized);
    for (int i = 0; i < mulaw.size(); ++i) {
        mulaw[i] = static_cast<char>(i * 29 + 7);
    }
    const QByteArray whole = CloudTranscribe::resample8to16(CloudTranscribe::decodeMulaw(mulaw));
    struct Row {
        const char* name;
        std::vector<int> frameSizes; // cycled until the take is used up
    };
    const Row rows[] = {
        { "one frame", { 97 } },
        { "single bytes", { 1 } },
        { "empty frames between", { 0, 5, 0, 2 } },
        { "uneven frames", { 20, 3, 40, 1 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeviceAudioStream stream;
        QByteArray streamed;
        for (qsizetype at = 0, i = 0; at < mulaw.size(); ++i) {
            const int size = row.frameSizes[i % row.frameSizes.size()];
            streamed += stream.feed(mulaw.mid(at, size));
            at += size;
        }
        streamed += stream.finish();
        EXPECT_EQ(streamed, whole);
        EXPECT_TRUE(stream.finish().isEmpty()) << "the held sample goes out once";
    }
}

} // namespace
} // namespace murmeli::voice
