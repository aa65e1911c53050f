#include "main/device/tts/BLETTSOutput.h"

#include <gtest/gtest.h>

#include <vector>

#include "main/device/tts/TTSEngine.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TaskResult.h"

using namespace murmeli;
using device::BLETTSOutput;

namespace {

struct Write {
    qint64 atMs;
    QByteArray bytes;
};

class BLETTSOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        output.sendBinary = [this](const QByteArray& bytes) {
            writes.push_back({ clock.continuousMs() - startMs, bytes });
        };
        output.onLog = [this](const QString& message, common::LogColor) { log << message; };
    }

    std::shared_ptr<std::optional<bool>> play(const QByteArray& adpcm)
    {
        return test::keepResult([](BLETTSOutput& out, QByteArray bytes) -> QCoro::Task<bool> {
            co_await out.play(std::move(bytes));
            co_return true;
        }(output, adpcm));
    }

    test::FakeClock clock;
    const qint64 startMs = clock.continuousMs();
    BLETTSOutput output { clock };
    std::vector<Write> writes;
    QStringList log;
};

} // namespace

TEST_F(BLETTSOutputTest, TheToneGoesInPacedPiecesBetweenStartAndEndLines)
{
    const QByteArray tone = device::TTSEngine::generateSynthTone(500, 440.0);
    const auto done = play(tone);
    // Nothing waits on the device: the stream runs on the clock alone.
    clock.advance(10000);
    ASSERT_TRUE(done->has_value());

    ASSERT_EQ(writes.size(), 25u);
    EXPECT_EQ(writes.front().bytes, QByteArrayLiteral("V:start,4000\n"));
    EXPECT_EQ(writes.front().atMs, 0);
    QByteArray joined;
    for (std::size_t i = 1; i <= 23; ++i) {
        EXPECT_EQ(writes[i].bytes.size(), i < 23 ? 180 : 40) << "piece " << i;
        // 50 ms after the start line, then one piece every 15 ms.
        EXPECT_EQ(writes[i].atMs, 50 + qint64(i - 1) * 15) << "piece " << i;
        joined += writes[i].bytes;
    }
    EXPECT_EQ(joined, tone);
    EXPECT_EQ(writes.back().bytes, QByteArrayLiteral("V:end\n"));
    // The last piece's gap, then 50 ms more.
    EXPECT_EQ(writes.back().atMs, 50 + 22 * 15 + 15 + 50);
    EXPECT_EQ(log, QStringList { QStringLiteral("TTS: sent 4000 bytes ADPCM → ESP32") });
}

TEST_F(BLETTSOutputTest, EmptyAudioIsAStartLineOfZeroAndTheEndLineAndStopIsOneLine)
{
    const auto done = play({});
    clock.advance(99);
    EXPECT_FALSE(done->has_value());
    clock.advance(1);
    ASSERT_TRUE(done->has_value());
    output.stop();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].bytes, QByteArrayLiteral("V:start,0\n"));
    EXPECT_EQ(writes[1].bytes, QByteArrayLiteral("V:end\n"));
    EXPECT_EQ(writes[1].atMs, 100);
    EXPECT_EQ(writes[2].bytes, QByteArrayLiteral("V:stop\n"));
}
