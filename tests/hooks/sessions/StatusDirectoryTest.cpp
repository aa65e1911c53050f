#include "main/hooks/sessions/StatusDirectory.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/Wait.h"

namespace murmeli::hooks {
namespace {

class StatusDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QString path(const QString& name) const { return m_root.filePath(name); }

    static mode_t permissions(const QString& path)
    {
        struct stat info { };
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
        return info.st_mode & 07777;
    }

    QTemporaryDir m_root;
};

TEST_F(StatusDirectoryTest, PrepareCreatesAMissingDirectoryForItsOwnerOnly)
{
    const StatusDirectory directory(path("a/b/status"));
    QString problem;
    EXPECT_FALSE(directory.open(&problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(directory.path())) << "open must not create it";

    problem.clear();
    ASSERT_TRUE(directory.prepare(&problem)) << problem.toStdString();
    EXPECT_TRUE(problem.isEmpty());
    EXPECT_TRUE(QFileInfo(directory.path()).isDir());
    EXPECT_EQ(permissions(directory.path()), mode_t(0700));
    const auto access = directory.open();
    ASSERT_TRUE(access);
    EXPECT_EQ(access->filePath("x-status.json"), path("a/b/status/x-status.json"));
}

TEST_F(StatusDirectoryTest, PrepareKeepsAnExistingDirectoryAndItsFiles)
{
    ASSERT_TRUE(QDir(m_root.path()).mkdir("status"));
    QFile kept(path("status/keep.json"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();

    const StatusDirectory directory(path("status"));
    EXPECT_TRUE(directory.prepare());
    EXPECT_TRUE(QFileInfo::exists(kept.fileName()));
}

TEST_F(StatusDirectoryTest, SymbolicLinksAreRefusedAndNeverFollowed)
{
    // A link to a real directory of ours is still a link someone could have planted.
    ASSERT_TRUE(QDir(m_root.path()).mkdir("real"));
    ASSERT_TRUE(QFile::link(path("real"), path("linked")));
    QString problem;
    EXPECT_FALSE(StatusDirectory(path("linked")).prepare(&problem));
    EXPECT_TRUE(problem.contains("symbolic link")) << problem.toStdString();

    // A dangling link: prepare must not create its target.
    ASSERT_TRUE(QFile::link(path("target"), path("dangling")));
    EXPECT_FALSE(StatusDirectory(path("dangling")).prepare());
    EXPECT_FALSE(QFileInfo::exists(path("target")));
}

TEST_F(StatusDirectoryTest, RegularFileIsRefused)
{
    QFile file(path("status"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QString problem;
    EXPECT_FALSE(StatusDirectory(path("status")).prepare(&problem));
    EXPECT_TRUE(problem.contains("not a directory")) << problem.toStdString();
    EXPECT_TRUE(QFileInfo(path("status")).isFile());
}

// Root hands a directory of its own making to another user; for anyone else the root of the file system is one.
TEST_F(StatusDirectoryTest, DirectoryOfAnotherUserIsRefused)
{
    QString theirs = QStringLiteral("/");
    if (::getuid() == 0) {
        theirs = path("status");
        ASSERT_TRUE(QDir(m_root.path()).mkdir("status"));
        // Open to everyone, so that a start which took it for its own would set it back to 0700.
        ASSERT_EQ(::chmod(QFile::encodeName(theirs).constData(), 0777), 0);
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
    }
    struct stat info { };
    ASSERT_EQ(::lstat(QFile::encodeName(theirs).constData(), &info), 0);
    if (info.st_uid == ::getuid()) {
        GTEST_SKIP() << "the root of the file system is this user's, and only root can hand a directory to another";
    }
    const mode_t mode = info.st_mode & 07777;
    QString problem;
    EXPECT_FALSE(StatusDirectory(theirs).prepare(&problem));
    EXPECT_TRUE(problem.contains("another user")) << problem.toStdString();
    EXPECT_FALSE(StatusDirectory(theirs).open());
    EXPECT_EQ(permissions(theirs), mode) << "another user's directory is left as it was";
}

TEST_F(StatusDirectoryTest, DirectoryOthersMayWriteToIsRefusedUntilTheStartSetsItBack)
{
    ASSERT_TRUE(QDir(m_root.path()).mkdir("status"));
    const StatusDirectory directory(path("status"));
    for (const mode_t mode : { mode_t(0770), mode_t(0757) }) {
        ASSERT_EQ(::chmod(QFile::encodeName(directory.path()).constData(), mode), 0);
        QString problem;
        EXPECT_FALSE(directory.open(&problem));
        EXPECT_FALSE(directory.openOrCreate());
        EXPECT_TRUE(problem.contains("writable by group or others")) << problem.toStdString();

        QString repair;
        ASSERT_TRUE(directory.prepare(&problem, &repair)) << problem.toStdString();
        EXPECT_TRUE(repair.contains(QStringLiteral("0%1").arg(mode, 0, 8))) << repair.toStdString();
        EXPECT_EQ(permissions(directory.path()), mode_t(0700));
        EXPECT_TRUE(directory.open());
    }
    QString repair;
    EXPECT_TRUE(directory.prepare(nullptr, &repair));
    EXPECT_TRUE(repair.isEmpty()) << "nothing to set back";
}

TEST_F(StatusDirectoryTest, ListingTellsAnEmptyDirectoryFromAnUnreadableOne)
{
    const StatusDirectory directory(path("status"));
    EXPECT_FALSE(directory.open()); // absent
    const auto access = directory.openOrCreate();
    ASSERT_TRUE(access);
    EXPECT_EQ(access->fileNames(), QStringList());
    ASSERT_TRUE(QDir(directory.path()).mkdir("sub"));
    QFile file(access->filePath("b-status.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(access->fileNames(), QStringList { "b-status.json" });

    if (::getuid() == 0) {
        GTEST_SKIP() << "root reads a directory of mode 0000 all the same; the registry's test injects the failure";
    }
    ASSERT_EQ(::chmod(QFile::encodeName(directory.path()).constData(), 0), 0);
    EXPECT_EQ(access->fileNames(), std::nullopt);
    ::chmod(QFile::encodeName(directory.path()).constData(), 0700);
}

TEST_F(StatusDirectoryTest, TimesComeWithTheNamesFromEitherLister)
{
    const QString dirPath = path("status");
    ASSERT_TRUE(StatusDirectory(dirPath).openOrCreate());
    ASSERT_TRUE(QDir(dirPath).mkdir("sub"));
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC);
    for (const QString& name : { QStringLiteral("a-status.json"), QStringLiteral("b-notify.json") }) {
        QFile file(dirPath + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(name.startsWith('a') ? old : old.addSecs(90), QFileDevice::FileModificationTime));
    }
    // A link counts with its target's time; a dangling one is left out, as a name that vanished would be.
    ASSERT_EQ(::symlink("a-status.json", QFile::encodeName(dirPath + "/c-status.json").constData()), 0);
    ASSERT_EQ(::symlink("gone.json", QFile::encodeName(dirPath + "/d-status.json").constData()), 0);

    const auto sorted = [](std::optional<std::vector<StatusDirectory::TimedName>> entries) {
        QStringList lines;
        for (const auto& entry : entries.value_or(std::vector<StatusDirectory::TimedName> {})) {
            lines << entry.name + QLatin1Char('@') + QString::number(entry.modified.toSecsSinceEpoch());
        }
        lines.sort();
        return lines;
    };
    const QStringList expected { "a-status.json@1700000000", "b-notify.json@1700000090", "c-status.json@1700000000" };
    EXPECT_EQ(sorted(StatusDirectory(dirPath).open()->fileTimes()), expected);

    bool fails = false;
    const StatusDirectory injected(
        dirPath, [&](const QString& at) { return fails ? std::nullopt : StatusDirectory::listOnDisk(at); });
    EXPECT_EQ(sorted(injected.open()->fileTimes()), expected);
    EXPECT_EQ(injected.open()->modified("b-notify.json"), old.addSecs(90));
    EXPECT_EQ(injected.open()->modified("gone.json"), std::nullopt);
    fails = true;
    EXPECT_EQ(injected.open()->fileTimes().has_value(), false);
}

// A directory on a mount that stops answering: a reader waits for it no longer than a short limit, the next is refused
// at once without another thread going in, and once the mount answers again it is read as before.
TEST_F(StatusDirectoryTest, AFolderThatStopsAnsweringHoldsOneThreadAndNoReader)
{
    const QString dirPath = path("status");
    ASSERT_TRUE(StatusDirectory(dirPath).openOrCreate());
    std::mutex mutex;
    std::condition_variable answered;
    bool dead = true;
    int reads = 0;
    const StatusDirectory directory(dirPath, [&](const QString& at) {
        std::unique_lock lock(mutex);
        ++reads;
        // Held as a dead mount's read is, until the test lets it go; bounded, so that a failing test still ends.
        answered.wait_for(lock, std::chrono::seconds(5), [&] { return !dead; });
        return StatusDirectory::listOnDisk(at);
    });
    const auto access = directory.open();
    ASSERT_TRUE(access);

    QElapsedTimer took;
    took.start();
    EXPECT_EQ(access->fileNames(), std::nullopt);
    EXPECT_LT(took.elapsed(), 2000) << "the reader waited " << took.elapsed()
                                    << " ms for a folder that does not answer";
    took.restart();
    EXPECT_FALSE(directory.open());
    EXPECT_FALSE(access->fileNames());
    EXPECT_LT(took.elapsed(), 250) << "a folder known not to answer kept its readers " << took.elapsed() << " ms";
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(reads, 1) << "a second thread went into the folder that does not answer";
        dead = false;
    }
    answered.notify_all();
    EXPECT_TRUE(test::waitUntil([&] {
        const auto again = directory.open();
        return again && again->fileNames().has_value();
    }));
}

} // namespace
} // namespace murmeli::hooks
