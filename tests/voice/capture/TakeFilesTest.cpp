#include "main/voice/capture/TakeFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

// The engine's take tests plant a link and another user's file; here, what else may hold the folder's name.
TEST(TakeFilesTest, AFolderUnderTheUsualNameThatIsNotPrivatelyOursIsLeftAlone)
{
    struct Row {
        const char* name;
        mode_t mode;
        uid_t owner; // another user's only where root can give it
        bool kept;
    };
    const Row rows[] = {
        { "ours", 0700, ::geteuid(), true },
        { "ours but open to everyone", 0777, ::geteuid(), false },
        { "another user's", 0700, ::geteuid() == 0 ? 65534 : ::geteuid(), ::geteuid() != 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir root;
        const QString usual = root.filePath(QStringLiteral("murmeli-takes-%1").arg(::geteuid()));
        const QByteArray encoded = QFile::encodeName(usual);
        ASSERT_EQ(::mkdir(encoded.constData(), 0700), 0);
        ASSERT_EQ(::chmod(encoded.constData(), row.mode), 0);
        ASSERT_EQ(::chown(encoded.constData(), row.owner, row.owner), 0);

        QString folder;
        {
            TakeFiles files(root.path());
            const std::optional<QString> file = files.write(QStringLiteral("murmeli-ptt"), QByteArray("RIFF"));
            ASSERT_TRUE(file.has_value());
            folder = files.folder();
            EXPECT_EQ(folder == usual, row.kept);
            EXPECT_EQ(QFileInfo(*file).absolutePath(), folder);
            EXPECT_EQ(QFile::permissions(folder) & 0x0077, 0);
            EXPECT_EQ(QFile::permissions(*file) & 0x0077, 0);
            files.removeAll();
            EXPECT_FALSE(QFileInfo::exists(*file));
        }
        // The usual folder stays for the next start; one made beside it under a name of its own goes with murmeli.
        EXPECT_TRUE(QFileInfo::exists(usual));
        EXPECT_EQ(QFileInfo::exists(folder), row.kept);
    }
}

} // namespace
} // namespace murmeli::voice
