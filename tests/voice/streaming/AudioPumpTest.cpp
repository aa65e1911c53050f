#include "main/voice/streaming/AudioPump.h"

#include <thread>
#include <vector>

#include <QThread>

#include <gtest/gtest.h>

#include "tests/support/Wait.h"

namespace murmeli::voice {
namespace {

using test::waitUntil;

QByteArray pattern(qsizetype from, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((from + i) % 253);
    }
    return bytes;
}

TEST(AudioPumpTest, PiecesFedFromAnotherThreadArriveOnTheOwnersThreadInOrderBeforeTheTakesEnd)
{
    AudioPump pump;
    QByteArray pieces;
    std::vector<qsizetype> sizes;
    bool onOwnerThread = true;
    const AudioPump::Feed feed = pump.begin([&](const QByteArray& piece) {
        onOwnerThread = onOwnerThread && QThread::currentThread() == QCoreApplication::instance()->thread();
        sizes.push_back(piece.size());
        pieces.append(piece);
    });
    QByteArray fed;
    // Buffers of a capture's size, which 3200 does not divide: every piece straddles a join somewhere.
    std::thread capture([&] {
        for (int i = 0; i < 20; ++i) {
            const QByteArray buffer = pattern(fed.size(), 2730);
            fed.append(buffer);
            feed(buffer);
        }
    });
    capture.join();
    QByteArray tail;
    QByteArray take;
    bool ended = false;
    pump.finish([&](const QByteArray& t, const QByteArray& pcm) {
        // Every piece of the take is already out when its end arrives.
        EXPECT_EQ(pieces.size() + t.size(), pcm.size());
        tail = t;
        take = pcm;
        ended = true;
    });
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    EXPECT_TRUE(onOwnerThread);
    EXPECT_EQ(sizes, std::vector<qsizetype>(17, 3200));
    EXPECT_EQ(pieces + tail, fed);
    EXPECT_EQ(take, fed);

    // Audio that arrives after its take ended belongs to no take.
    feed(pattern(0, 6400));
    bool secondEnded = false;
    pump.begin([&](const QByteArray& piece) { pieces.append(piece); });
    pump.finish([&](const QByteArray& t, const QByteArray& pcm) { secondEnded = t.isEmpty() && pcm.isEmpty(); });
    ASSERT_TRUE(waitUntil([&] { return secondEnded; }));
    EXPECT_EQ(pieces + tail, fed);
}

TEST(AudioPumpTest, ADiscardedTakeDeliversNothingMore)
{
    AudioPump pump;
    int delivered = 0;
    const AudioPump::Feed feed = pump.begin([&](const QByteArray&) { ++delivered; });
    feed(pattern(0, 32000));
    pump.discard();
    bool nextEnded = false;
    QByteArray nextTake;
    const AudioPump::Feed next = pump.begin([&](const QByteArray&) { ++delivered; });
    next(pattern(0, 100));
    pump.finish([&](const QByteArray&, const QByteArray& pcm) {
        nextTake = pcm;
        nextEnded = true;
    });
    ASSERT_TRUE(waitUntil([&] { return nextEnded; }));
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(nextTake, pattern(0, 100));
}

} // namespace
} // namespace murmeli::voice
