#include "main/common/TextUtils.h"

#include <gtest/gtest.h>

namespace murmeli::common::text {
namespace {

// Built from code points so the source file's encoding cannot change what is tested.
const QString eWithCombiningAcute = QString::fromUtf8("e\xCC\x81"); // e + U+0301
const QString thumbsUpMediumSkin = QString::fromUtf8("\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"); // U+1F44D U+1F3FD
const QString familyZwj = QString::fromUtf8("\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
                                            "\xF0\x9F\x91\xA7"); // man ZWJ woman ZWJ girl
const QString kanji = QString::fromUtf8("\xE6\xBC\xA2\xE5\xAD\x97"); // two CJK ideographs
const QString ellipsis = QString(QChar(0x2026));

TEST(TextUtilsCharacterCount, CountsGraphemeClustersNotCodeUnits)
{
    EXPECT_EQ(characterCount(QString()), 0);
    EXPECT_EQ(characterCount(QStringLiteral("abc")), 3);
    EXPECT_EQ(characterCount(eWithCombiningAcute), 1);
    EXPECT_EQ(characterCount(thumbsUpMediumSkin), 1);
    EXPECT_EQ(characterCount(familyZwj), 1);
    EXPECT_EQ(characterCount(kanji), 2);
    EXPECT_EQ(characterCount(QStringLiteral("a") + familyZwj + eWithCombiningAcute + kanji), 5);
}

TEST(TextUtilsPrefix, NeverSplitsACluster)
{
    const QString text = eWithCombiningAcute + familyZwj + QStringLiteral("z");
    EXPECT_EQ(prefixCharacters(text, 1), eWithCombiningAcute);
    EXPECT_EQ(prefixCharacters(text, 2), eWithCombiningAcute + familyZwj);
    EXPECT_EQ(prefixCharacters(text, 3), text);
    EXPECT_EQ(prefixCharacters(text, 99), text);
    EXPECT_EQ(prefixCharacters(text, 0), QString());
    EXPECT_EQ(prefixCharacters(text, -4), QString());
}

TEST(TextUtilsEllipsis, LeavesTextAtTheLimitAlone)
{
    EXPECT_EQ(truncateWithEllipsis(QStringLiteral("hello"), 5), QStringLiteral("hello"));
    EXPECT_EQ(truncateWithEllipsis(QStringLiteral("hello"), 6), QStringLiteral("hello"));
    // Five clusters in far more than five UTF-16 units still fit a limit of five.
    const QString fiveWide = familyZwj + familyZwj + thumbsUpMediumSkin + eWithCombiningAcute + kanji.left(1);
    EXPECT_EQ(truncateWithEllipsis(fiveWide, 5), fiveWide);
}

TEST(TextUtilsEllipsis, CutsOneOverTheLimitToLimitCharacters)
{
    const QString result = truncateWithEllipsis(QStringLiteral("hello!"), 5);
    EXPECT_EQ(result, QStringLiteral("hell") + ellipsis);
    EXPECT_EQ(characterCount(result), 5);

    const QString emoji = familyZwj + familyZwj + familyZwj;
    EXPECT_EQ(truncateWithEllipsis(emoji, 2), familyZwj + ellipsis);
    EXPECT_EQ(truncateWithEllipsis(kanji, 1), ellipsis);
    EXPECT_EQ(truncateWithEllipsis(kanji, 0), QString());
}

TEST(TextUtilsUtf8, BacksOffToTheStartOfAThreeByteScalar)
{
    const QByteArray utf8 = kanji.toUtf8(); // 3 + 3 bytes
    ASSERT_EQ(utf8.size(), 6);
    EXPECT_EQ(truncateUtf8Bytes(utf8, 5), utf8.left(3));
    EXPECT_EQ(truncateUtf8Bytes(utf8, 4), utf8.left(3));
    EXPECT_EQ(truncateUtf8Bytes(utf8, 3), utf8.left(3));
    EXPECT_EQ(truncateUtf8Bytes(utf8, 2), QByteArray());
    EXPECT_EQ(truncateUtf8Bytes(utf8, 6), utf8);
}

TEST(TextUtilsUtf8, BacksOffToTheStartOfAFourByteScalar)
{
    // Two emoji of their own, each a character: 2 + 4 + 4 bytes.
    const QString text = QStringLiteral("ab") + thumbsUpMediumSkin.left(2) + QString::fromUtf8("\xF0\x9F\x98\x80");
    const QByteArray utf8 = text.toUtf8();
    ASSERT_EQ(utf8.size(), 10);
    for (int cut = 3; cut <= 5; ++cut) {
        EXPECT_EQ(truncateUtf8(text, cut), QByteArray("ab")) << "cut at " << cut;
    }
    EXPECT_EQ(truncateUtf8(text, 6), utf8.left(6));
    EXPECT_EQ(truncateUtf8(text, 9), utf8.left(6));
    EXPECT_EQ(truncateUtf8(text, 100), utf8);
    // The cut result must decode back to exactly what it encodes: no replacement characters.
    EXPECT_EQ(QString::fromUtf8(truncateUtf8(text, 7)), QStringLiteral("ab") + thumbsUpMediumSkin.left(2));
}

// A cut that would keep part of a character keeps none of it: a thumb without its skin tone, a flag's first letter, a
// family without its last member or a letter without its accent would say something else.
TEST(TextUtilsUtf8, NeverCutsInsideACharacter)
{
    const QString flag = QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA"); // D E regional indicators
    for (const QString& character : { thumbsUpMediumSkin, flag, familyZwj, eWithCombiningAcute }) {
        const QString text = QStringLiteral("ab") + character + QStringLiteral("z");
        const int whole = static_cast<int>(character.toUtf8().size());
        for (int cut = 3; cut < 2 + whole; ++cut) {
            EXPECT_EQ(truncateUtf8(text, cut), QByteArray("ab")) << character.toStdString() << " cut at " << cut;
        }
        EXPECT_EQ(truncateUtf8(text, 2 + whole), (QStringLiteral("ab") + character).toUtf8());
    }
}

// A name or a command shows what would hide or reorder its text as an escape: a right-to-left override can make
// "| sh" read as something else, an escape sequence could steer a terminal. A command keeps its lines and tabs; a
// name, shown on one line, escapes them too.
TEST(TextUtilsVisible, WhatWouldHideOrReorderTextIsShownAsAnEscape)
{
    const struct {
        QString text;
        Breaks breaks;
        QString shown;
    } rows[] = {
        { QStringLiteral("a\u2066\tb\nc\u200B\x1b"), Breaks::Keep, QStringLiteral("a\\u2066\tb\nc\\u200b\\x1b") },
        { QStringLiteral("mcp__files__read_\u202Etxt.exe\n\u2067x\ty\u2028z"), Breaks::Escape,
            QStringLiteral("mcp__files__read_\\u202etxt.exe\\n\\u2067x\\ty\\u2028z") },
        { QStringLiteral("caf\u00E9 \U0001F600 \u6F22"), Breaks::Escape,
            QStringLiteral("caf\u00E9 \U0001F600 \u6F22") },
    };
    for (const auto& row : rows) {
        EXPECT_EQ(visible(row.text, row.breaks), row.shown);
    }
}

TEST(TextUtilsUtf8, ZeroOrNegativeBudgetGivesNothing)
{
    EXPECT_TRUE(truncateUtf8(QStringLiteral("abc"), 0).isEmpty());
    EXPECT_TRUE(truncateUtf8Bytes(QByteArray("abc"), 0).isEmpty());
    EXPECT_TRUE(truncateUtf8Bytes(QByteArray("abc"), -1).isEmpty());
    EXPECT_TRUE(truncateUtf8(QString(), 10).isEmpty());
}

TEST(TextUtilsTrim, OnlySpacesAndTabsAreRemoved)
{
    EXPECT_EQ(trimSpacesAndTabs(QStringLiteral(" \t a b \t ")), QStringLiteral("a b"));
    EXPECT_EQ(trimSpacesAndTabs(QStringLiteral("\n a \n")), QStringLiteral("\n a \n"));
    EXPECT_EQ(trimSpacesAndTabs(QStringLiteral(" \t\t ")), QString());
    EXPECT_EQ(trimLeadingSpacesAndTabs(QStringLiteral("\t x \t")), QStringLiteral("x \t"));
    EXPECT_EQ(trimTrailingSpacesAndTabs(QStringLiteral("\t x \t")), QStringLiteral("\t x"));
    EXPECT_EQ(trimTrailingSpacesAndTabs(QStringLiteral("line\n ")), QStringLiteral("line\n"));
}

TEST(TextUtilsPath, LastComponent)
{
    EXPECT_EQ(lastPathComponent(QStringLiteral("/a/b/")), QStringLiteral("b"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("/a/b")), QStringLiteral("b"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("a//b//")), QStringLiteral("b"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("file.txt")), QStringLiteral("file.txt"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(lastPathComponent(QStringLiteral("///")), QStringLiteral("/"));
    EXPECT_EQ(lastPathComponent(QString()), QString());
}

} // namespace
} // namespace murmeli::common::text
