#include "main/common/AtomicFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/Files.h"

namespace murmeli::common {
namespace {

using test::readFile;

uint modeOf(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool plantFile(const QString& path, const QByteArray& bytes, uint mode)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
        && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

class AtomicFileTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return m_root.filePath(QLatin1String(name)); }

    QTemporaryDir m_root;
};

// The mode a new file gets, the one a replaced file keeps, and the one a private file is forced to.
TEST_F(AtomicFileTest, NewFilesTakeTheGivenModeAndReplacedOnesKeepTheirs)
{
    const mode_t saved = ::umask(022);
    AtomicFile::Options options;
    options.newFileMode = 0640;
    EXPECT_TRUE(AtomicFile::write(path("new"), "one", options));
    EXPECT_EQ(modeOf(path("new")), 0640u);

    ASSERT_TRUE(plantFile(path("shared"), "old", 0664));
    EXPECT_TRUE(AtomicFile::write(path("shared"), "new", options));
    EXPECT_EQ(modeOf(path("shared")), 0664u);
    EXPECT_EQ(readFile(path("shared")), "new");

    options.newFileMode = 0600;
    options.forceMode = true;
    EXPECT_TRUE(AtomicFile::write(path("shared"), "private", options));
    EXPECT_EQ(modeOf(path("shared")), 0600u);
    ::umask(saved);
}

TEST_F(AtomicFileTest, WhatALinkUnderTheNameGetsDependsOnTheRule)
{
    ASSERT_TRUE(plantFile(path("target"), "old", 0600));
    ASSERT_EQ(::symlink("target", QFile::encodeName(path("link")).constData()), 0);
    AtomicFile::Options options;

    options.links = AtomicFile::Links::Refuse;
    QString problem;
    EXPECT_FALSE(AtomicFile::write(path("link"), "refused", options, &problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_EQ(readFile(path("target")), "old");

    // The link stays a link and what it leads to is replaced, keeping that file's mode.
    options.links = AtomicFile::Links::Follow;
    EXPECT_TRUE(AtomicFile::write(path("link"), "followed", options));
    EXPECT_TRUE(QFileInfo(path("link")).isSymLink());
    EXPECT_EQ(readFile(path("target")), "followed");
    EXPECT_EQ(modeOf(path("target")), 0600u);

    options.links = AtomicFile::Links::Replace;
    EXPECT_TRUE(AtomicFile::write(path("link"), "replaced", options));
    EXPECT_FALSE(QFileInfo(path("link")).isSymLink());
    EXPECT_EQ(readFile(path("link")), "replaced");
    EXPECT_EQ(readFile(path("target")), "followed");
}

// Whatever stops a write, the old file is as it was and no temporary file is left beside it.
TEST_F(AtomicFileTest, AFailedWriteLeavesTheOldFileAndNoLeftovers)
{
    ASSERT_TRUE(plantFile(path("kept"), "old", 0644));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(path("folder")));

    QString problem;
    EXPECT_FALSE(AtomicFile::write(path("fifo"), "x", {}, &problem));
    EXPECT_FALSE(AtomicFile::write(path("folder"), "x", { .links = AtomicFile::Links::Replace }, &problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_FALSE(AtomicFile::write(path("missing-folder/file"), "x", {}, &problem));
    if (::geteuid() != 0) {
        // A file its owner made read-only stays, although the folder would let a rename replace it.
        ASSERT_TRUE(plantFile(path("read-only"), "old", 0444));
        EXPECT_FALSE(AtomicFile::write(path("read-only"), "x", {}, &problem));
        EXPECT_EQ(readFile(path("read-only")), "old");
    }

    EXPECT_EQ(readFile(path("kept")), "old");
    QStringList names
        = QDir(m_root.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral("read-only"));
    EXPECT_EQ(names, (QStringList { "fifo", "folder", "kept" }));
}

} // namespace
} // namespace murmeli::common
