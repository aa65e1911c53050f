#include "main/ui/design/VantorFont.h"

#include <gtest/gtest.h>

#include <optional>

#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QProcess>
#include <QTemporaryDir>

#include "main/ui/design/FontFolder.h"

using namespace murmeli::ui;

namespace {

const QString fontsFolder = QStringLiteral(MURMELI_SOURCE_DIR "/fonts");

// The family fontconfig's own matcher gives for a name, as every other program of the desktop gets it.
std::optional<QString> fontconfigFamily(const char* name)
{
    QProcess match;
    match.start(QStringLiteral("fc-match"),
        { QStringLiteral("-f"), QStringLiteral("%{family[0]}"), QString::fromLatin1(name) });
    if (!match.waitForFinished(10000) || match.exitStatus() != QProcess::NormalExit || match.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(match.readAllStandardOutput()).trimmed();
}

// Whether narrow, wide and punctuation glyphs all take the same room.
bool hasOneAdvance(const QFont& font)
{
    const QFontMetricsF metrics(font);
    const qreal advance = metrics.horizontalAdvance(u'M');
    for (const QChar glyph : QStringLiteral("iIl1.:|W@m_ 0")) {
        if (metrics.horizontalAdvance(glyph) != advance) {
            return false;
        }
    }
    return true;
}

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

// A missing face falls back to the face fontconfig gives for its design, whatever faces the machine has. Whether a
// face is monospaced is judged by its glyphs' advances: fontconfig reports some monospaced faces (Noto Sans Mono) as
// proportional, so QFontInfo::fixedPitch() would judge them wrongly.
TEST(VantorFontTest, AMissingFaceFallsBackToTheSystemFaceOfItsDesign)
{
    const QString missing = QStringLiteral("No Such Face Anywhere");
    EXPECT_FALSE(VantorFont::isAvailable(missing));

    const struct {
        VantorFont::Design design;
        const char* fontconfigName;
        bool oneAdvance;
    } rows[] = {
        { VantorFont::Design::Serif, "serif", false },
        { VantorFont::Design::Default, "sans-serif", false },
        { VantorFont::Design::Monospaced, "monospace", true },
    };
    QStringList families;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fontconfigName);
        const QFont font = VantorFont::font(missing, row.design, 15, QFont::Bold);
        EXPECT_EQ(font.pointSizeF(), 15);
        EXPECT_EQ(font.weight(), QFont::Bold);
        const std::optional<QString> expected = fontconfigFamily(row.fontconfigName);
        ASSERT_TRUE(expected) << "fc-match did not run; scripts/setup installs it with the package fontconfig";
        EXPECT_EQ(QFontInfo(font).family(), *expected);
        EXPECT_EQ(hasOneAdvance(font), row.oneAdvance) << QFontInfo(font).family().toStdString();
        families << QFontInfo(font).family();
    }
    // Three designs, three different system faces.
    families.removeDuplicates();
    EXPECT_EQ(families.size(), 3) << families.join(u',').toStdString();
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
