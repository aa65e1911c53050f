#include "main/ui/design/VantorFont.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFontInfo>
#include <QTemporaryDir>

#include "main/ui/design/FontFolder.h"

using namespace murmeli::ui;

namespace {

const QString fontsFolder = QStringLiteral(MURMELI_SOURCE_DIR "/fonts");

} // namespace

TEST(VantorFontTest, TheShippedFacesAreUsedOnceTheirFolderIsRegistered)
{
    const FontRegistration registered = registerFontFolder(fontsFolder);
    EXPECT_EQ(registered.registeredFiles, 12);
    EXPECT_TRUE(registered.failedFiles.isEmpty()) << registered.failedFiles.join(u' ').toStdString();
    EXPECT_EQ(registered.families,
        (QStringList { QStringLiteral("Fraunces"), QStringLiteral("Geist Mono"), QStringLiteral("Instrument Sans") }));

    struct Case {
        QFont font;
        QString family;
        qreal size;
        QFont::Weight weight;
        QString style;
    };
    const Case cases[] = {
        { VantorFont::fraunces(22), QStringLiteral("Fraunces"), 22, QFont::Normal, QStringLiteral("Regular") },
        { VantorFont::instrumentSans(13), QStringLiteral("Instrument Sans"), 13, QFont::Medium,
            QStringLiteral("Medium") },
        { VantorFont::instrumentSans(11, QFont::DemiBold), QStringLiteral("Instrument Sans"), 11, QFont::DemiBold,
            QStringLiteral("SemiBold") },
        { VantorFont::geistMono(10, QFont::Bold), QStringLiteral("Geist Mono"), 10, QFont::Bold,
            QStringLiteral("Bold") },
    };
    for (const Case& c : cases) {
        const QFontInfo resolved(c.font);
        EXPECT_EQ(resolved.family(), c.family);
        // The file of that weight is used, not a face made bolder.
        EXPECT_EQ(resolved.styleName(), c.style) << c.family.toStdString();
        EXPECT_EQ(c.font.pointSizeF(), c.size) << c.family.toStdString();
        EXPECT_EQ(c.font.weight(), c.weight) << c.family.toStdString();
    }
    EXPECT_TRUE(QFontInfo(VantorFont::geistMono(10)).fixedPitch());
}

TEST(VantorFontTest, AMissingFaceFallsBackToTheSystemFaceOfItsDesign)
{
    const QString missing = QStringLiteral("No Such Face Anywhere");
    EXPECT_FALSE(VantorFont::isAvailable(missing));

    const QFont serif = VantorFont::font(missing, VantorFont::Design::Serif, 15, QFont::Bold);
    const QFont plain = VantorFont::font(missing, VantorFont::Design::Default, 15, QFont::Bold);
    const QFont mono = VantorFont::font(missing, VantorFont::Design::Monospaced, 15, QFont::Bold);
    for (const QFont& font : { serif, plain, mono }) {
        EXPECT_NE(QFontInfo(font).family(), missing);
        EXPECT_EQ(font.pointSizeF(), 15);
        EXPECT_EQ(font.weight(), QFont::Bold);
    }
    EXPECT_TRUE(QFontInfo(mono).fixedPitch());
    EXPECT_FALSE(QFontInfo(plain).fixedPitch());
    // Three designs, three different system faces.
    EXPECT_NE(QFontInfo(serif).family(), QFontInfo(plain).family());
    EXPECT_NE(QFontInfo(serif).family(), QFontInfo(mono).family());
}

TEST(VantorFontTest, AFolderRegistersItsFontFilesOnlyAndReportsThoseRefused)
{
    QTemporaryDir folder;
    ASSERT_TRUE(
        QFile::copy(fontsFolder + QStringLiteral("/GeistMono-OFL.txt"), folder.filePath(QStringLiteral("OFL.txt"))));
    QFile broken(folder.filePath(QStringLiteral("broken.ttf")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a font");
    broken.close();

    const FontRegistration registered = registerFontFolder(folder.path());
    EXPECT_EQ(registered.registeredFiles, 0);
    EXPECT_EQ(registered.failedFiles, QStringList { folder.filePath(QStringLiteral("broken.ttf")) });
}
