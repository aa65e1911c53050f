#include "main/common/ResourcePaths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace murmeli::common;

namespace {

struct Layout {
    ResourceFolder folder;
    const char* inSourceTree;
    const char* installed;
};

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

} // namespace

TEST(ResourcePathsTest, EachFolderIsFoundBesideABuildTreeOrUnderAnInstalledPrefix)
{
    const Layout layouts[] = {
        { ResourceFolder::Scripts, "src/Resources/scripts", "usr/share/murmeli/scripts" },
        { ResourceFolder::Sounds, "src/HookSounds", "usr/share/murmeli/HookSounds" },
        { ResourceFolder::Fonts, "src/fonts", "usr/share/murmeli/fonts" },
    };
    for (const Layout& layout : layouts) {
        QTemporaryDir scratch;
        const QString root = QDir(scratch.path()).canonicalPath() + QLatin1Char('/');
        const QString buildExecutable = root + QStringLiteral("src/build/main/app/murmeli");
        const QString installedExecutable = root + QStringLiteral("usr/bin/murmeli");
        touch(buildExecutable);
        touch(installedExecutable);
        EXPECT_EQ(findResourceFolder(buildExecutable, layout.folder), std::nullopt) << layout.inSourceTree;

        QDir().mkpath(root + QLatin1String(layout.inSourceTree));
        QDir().mkpath(root + QLatin1String(layout.installed));
        EXPECT_EQ(findResourceFolder(buildExecutable, layout.folder), root + QLatin1String(layout.inSourceTree));
        EXPECT_EQ(findResourceFolder(installedExecutable, layout.folder), root + QLatin1String(layout.installed));
        // A link on PATH to the installed executable finds the installed files, not files beside the link.
        const QString link = root + QStringLiteral("elsewhere/bin/murmeli");
        QDir().mkpath(QFileInfo(link).absolutePath());
        ASSERT_TRUE(QFile::link(installedExecutable, link));
        EXPECT_EQ(findResourceFolder(link, layout.folder), root + QLatin1String(layout.installed));
    }
}

TEST(ResourcePathsTest, AFileInPlaceOfTheFolderIsNotTaken)
{
    QTemporaryDir scratch;
    const QString root = QDir(scratch.path()).canonicalPath();
    touch(root + QStringLiteral("/usr/bin/murmeli"));
    touch(root + QStringLiteral("/usr/share/murmeli/fonts"));
    EXPECT_EQ(findResourceFolder(root + QStringLiteral("/usr/bin/murmeli"), ResourceFolder::Fonts), std::nullopt);
}
