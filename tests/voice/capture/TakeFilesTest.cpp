#include "main/voice/capture/TakeFiles.h"

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

// Another user's uid, which only root can give a file; such rows are skipped otherwise.
constexpr uid_t otherUser = 65534;

bool isPrivateFolderOfOurs(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

TEST(TakeFilesTest, TheFilesGoToAFolderOfTheUsersOwnWhateverWasPlantedUnderItsName)
{
    struct Row {
        const char* name;
        bool needsRoot;
        // Plants something at the usual folder's path; victim is a folder elsewhere that must stay untouched.
        std::function<void(const QString& usual, const QString& victim)> plant;
        bool usualNameKept;
    };
    const Row rows[] = {
        { "nothing there", false, [](const QString&, const QString&) {}, true },
        { "our own folder left by an earlier run", false,
            [](const QString& usual, const QString&) { ASSERT_EQ(::mkdir(QFile::encodeName(usual), 0700), 0); }, true },
        { "a link to someone's folder", false,
            [](const QString& usual, const QString& victim) { ASSERT_TRUE(QFile::link(victim, usual)); }, false },
        { "a file", false,
            [](const QString& usual, const QString&) {
                QFile file(usual);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            },
            false },
        { "our folder open to everyone", false,
            [](const QString& usual, const QString&) {
                ASSERT_EQ(::mkdir(QFile::encodeName(usual), 0700), 0);
                ASSERT_EQ(::chmod(QFile::encodeName(usual), 0777), 0);
            },
            false },
        { "another user's folder", true,
            [](const QString& usual, const QString&) {
                ASSERT_EQ(::mkdir(QFile::encodeName(usual), 0700), 0);
                ASSERT_EQ(::chown(QFile::encodeName(usual), otherUser, otherUser), 0);
            },
            false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && ::geteuid() != 0) {
            continue;
        }
        QTemporaryDir root;
        QTemporaryDir victim;
        const QString usual = root.filePath(QStringLiteral("murmeli-takes-%1").arg(::geteuid()));
        row.plant(usual, victim.path());

        std::optional<QString> first;
        std::optional<QString> second;
        {
            TakeFiles files(root.path());
            first = files.create(QStringLiteral("murmeli-ptt"));
            second = files.write(QStringLiteral("murmeli-ptt"), QByteArray("RIFF"));
            ASSERT_TRUE(first && second);
            EXPECT_NE(*first, *second);
            EXPECT_EQ(QFileInfo(*first).absolutePath(), files.folder());
            EXPECT_TRUE(isPrivateFolderOfOurs(files.folder()));
            EXPECT_EQ(files.folder() == usual, row.usualNameKept);
            EXPECT_EQ(QFile::permissions(*second) & 0x0077, 0);
            EXPECT_EQ(QFile(*second).size(), 4);
            files.removeAll();
            EXPECT_FALSE(QFileInfo::exists(*first));
            EXPECT_FALSE(QFileInfo::exists(*second));
            EXPECT_TRUE(files.create(QStringLiteral("murmeli-ble-ptt")).has_value());
        }
        EXPECT_TRUE(QDir(QFileInfo(*first).absolutePath()).isEmpty()) << "what the last take left goes at the end";
        EXPECT_TRUE(QDir(victim.path()).isEmpty());
    }
}

} // namespace
} // namespace murmeli::voice
