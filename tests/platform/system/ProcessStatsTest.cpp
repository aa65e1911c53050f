#include "platform/system/ProcessStats.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

namespace murmeli::platform {
namespace {

TEST(ProcessStats, ReadsResidentMemoryAndThreadsFromTheStatusText)
{
    const QByteArray status = "Name:\tmurmeli\nVmPeak:\t  912340 kB\nVmRSS:\t   41236 kB\nRssAnon:\t   20000 kB\n"
                              "Threads:\t9\nSigQ:\t0/63412\n";
    EXPECT_EQ(parseProcStatus(status), (ProcessStats { 41236ull * 1024, 9 }));

    EXPECT_EQ(parseProcStatus("Name:\tx\nThreads:\t9\n"), std::nullopt);
    EXPECT_EQ(parseProcStatus("VmRSS:\t 12 kB\n"), std::nullopt);
    EXPECT_EQ(parseProcStatus("VmRSS:\t lots kB\nThreads:\t9\n"), std::nullopt);
    EXPECT_EQ(parseProcStatus("VmRSS:\t 12 kB\nThreads:\t99999999999\n"), std::nullopt);
    EXPECT_EQ(parseProcStatus(""), std::nullopt);
}

TEST(ProcessStats, TheRunningProcessCountsAThreadItStarts)
{
    const auto before = readProcessStats();
    ASSERT_TRUE(before.has_value());
    EXPECT_GT(before->residentBytes, 1024u * 1024u);
    bool release = false;
    std::mutex mutex;
    std::condition_variable released;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return release; });
    });
    const auto during = readProcessStats();
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_one();
    worker.join();
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->threadCount, before->threadCount + 1);
}

} // namespace
} // namespace murmeli::platform
