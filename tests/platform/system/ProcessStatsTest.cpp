#include "platform/system/ProcessStats.h"

#include <gtest/gtest.h>

namespace murmeli::platform {
namespace {

TEST(ProcessStats, ReadsResidentMemoryAndThreadsFromTheStatusText)
{
    const QByteArray status
        = "Name:\tmurmeli\nVmPeak:\t  912340 kB\nVmRSS:\t   41236 kB\nThreads:\t9\nSigQ:\t0/63412\n";
    EXPECT_EQ(parseProcStatus(status), (ProcessStats { 41236ull * 1024, 9 }));
    for (const QByteArray& malformed : { QByteArray("Threads:\t9\n"), QByteArray("VmRSS:\t 12 kB\n"),
             QByteArray("VmRSS:\t lots kB\nThreads:\t9\n"), QByteArray("VmRSS:\t 12 kB\nThreads:\t99999999999\n") }) {
        EXPECT_EQ(parseProcStatus(malformed), std::nullopt) << malformed.constData();
    }

    const auto running = readProcessStats();
    ASSERT_TRUE(running.has_value());
    EXPECT_GT(running->residentBytes, 1024u * 1024u);
    EXPECT_GE(running->threadCount, 1);
}

} // namespace
} // namespace murmeli::platform
