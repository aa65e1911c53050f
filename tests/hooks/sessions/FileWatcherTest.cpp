#include "main/hooks/sessions/FileWatcher.h"

#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

using test::waitUntil;

// Long enough for a stray callback to show up; the watcher's own delays are 50 and 75 ms.
constexpr int quietPeriodMs = 300;

class FileWatcherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QString path(const QString& name) const { return m_root.filePath(name); }

    void touch(const QString& name)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{}");
    }

    std::function<void()> counter(int& count)
    {
        return [&count] { ++count; };
    }

    QTemporaryDir m_root;
};

TEST_F(FileWatcherTest, BurstOfWritesGivesOneCallbackAfterItEnds)
{
    FileWatcher watcher;
    int calls = 0;
    QElapsedTimer sinceLastWrite;
    qint64 firedAfterMs = -1;
    ASSERT_TRUE(watcher.start(m_root.path(), [&] {
        ++calls;
        firedAfterMs = sinceLastWrite.elapsed();
    }));

    touch("a-status.json");
    touch("a-activity.json");
    touch("a-notify.json");
    sinceLastWrite.start();

    ASSERT_TRUE(waitUntil([&] { return calls > 0; }, 2000));
    EXPECT_FALSE(waitUntil([&] { return calls > 1; }, quietPeriodMs));
    EXPECT_EQ(calls, 1);
    // Not at once: the callback waits for the burst to go quiet.
    EXPECT_GE(firedAfterMs, FileWatcher::coalesceIntervalMs - 10);
}

TEST_F(FileWatcherTest, SteadyStreamStillGivesCallbacksWhileItLasts)
{
    FileWatcher watcher;
    QElapsedTimer clock;
    std::vector<qint64> callbacks;
    ASSERT_TRUE(watcher.start(m_root.path(), [&] { callbacks.push_back(clock.elapsed()); }));

    constexpr int writes = 40;
    int written = 0;
    qint64 lastWriteMs = -1;
    QTimer writer;
    writer.setInterval(10);
    QObject::connect(&writer, &QTimer::timeout, [&] {
        touch(QStringLiteral("s%1-status.json").arg(written));
        lastWriteMs = clock.elapsed();
        if (++written == writes) {
            writer.stop();
        }
    });
    clock.start();
    writer.start();

    ASSERT_TRUE(waitUntil([&] { return written == writes; }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !callbacks.empty() && callbacks.back() > lastWriteMs; }, 2000));
    EXPECT_GE(callbacks.size(), 3u);
    EXPECT_LT(callbacks.front(), lastWriteMs) << "no callback until the stream ended";
}

TEST_F(FileWatcherTest, StartCreatesAMissingDirectoryAndWatchesIt)
{
    const QString directory = path("x/y/status");
    FileWatcher watcher;
    int calls = 0;
    ASSERT_TRUE(watcher.start(directory, counter(calls)));
    EXPECT_TRUE(QFileInfo(directory).isDir());

    touch("x/y/status/k-activity.json");
    EXPECT_TRUE(waitUntil([&] { return calls == 1; }, 2000));
}

TEST_F(FileWatcherTest, UnwatchablePathNeverCallsBack)
{
    touch("plain");
    FileWatcher watcher;
    int calls = 0;
    EXPECT_FALSE(watcher.start(path("plain/status"), counter(calls)));
    touch("plain2");
    EXPECT_FALSE(waitUntil([&] { return calls > 0; }, quietPeriodMs));
}

TEST_F(FileWatcherTest, NoCallbackAfterStopOrDestruction)
{
    int stopped = 0;
    int destroyed = 0;
    FileWatcher watcher;
    ASSERT_TRUE(watcher.start(m_root.path(), counter(stopped)));
    touch("a-status.json");
    // Let the watcher see the change, so a callback is pending when it stops.
    QCoreApplication::processEvents();
    watcher.stop();

    auto doomed = std::make_unique<FileWatcher>();
    ASSERT_TRUE(doomed->start(m_root.path(), counter(destroyed)));
    touch("b-status.json");
    QCoreApplication::processEvents();
    doomed.reset();

    touch("c-status.json");
    EXPECT_FALSE(waitUntil([&] { return stopped + destroyed > 0; }, quietPeriodMs));
}

TEST_F(FileWatcherTest, SecondStartReplacesTheFirstWatchAndCallback)
{
    ASSERT_TRUE(QDir(m_root.path()).mkdir("first"));
    ASSERT_TRUE(QDir(m_root.path()).mkdir("second"));
    FileWatcher watcher;
    int first = 0;
    int second = 0;
    ASSERT_TRUE(watcher.start(path("first"), counter(first)));
    ASSERT_TRUE(watcher.start(path("second"), counter(second)));

    touch("first/a-status.json");
    EXPECT_FALSE(waitUntil([&] { return first + second > 0; }, quietPeriodMs))
        << "the first directory is still watched";

    touch("second/a-status.json");
    ASSERT_TRUE(waitUntil([&] { return second == 1; }, 2000));
    EXPECT_EQ(first, 0);

    // The same directory again: only the newer callback hears of the change.
    int third = 0;
    ASSERT_TRUE(watcher.start(path("second"), counter(third)));
    touch("second/b-status.json");
    ASSERT_TRUE(waitUntil([&] { return third == 1; }, 2000));
    EXPECT_FALSE(waitUntil([&] { return second > 1 || third > 1; }, quietPeriodMs));
}

} // namespace
} // namespace murmeli::hooks
