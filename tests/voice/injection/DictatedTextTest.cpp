#include "main/voice/injection/DictatedText.h"

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

TEST(DictatedTextTest, LineBreaksAndControlCharactersNeverActAsKeys)
{
    struct Row {
        const char* name;
        QString said;
        QString sent;
    };
    const Row rows[] {
        { "a trailing line feed", QStringLiteral("touch /tmp/x\n"), QStringLiteral("touch /tmp/x") },
        { "carriage return and line feed inside", QStringLiteral("git status\r\nrm -rf build"),
            QStringLiteral("git status rm -rf build") },
        { "blank lines and blanks around them", QStringLiteral("  first \n\n \t\n second  "),
            QStringLiteral("first second") },
        { "Unicode line and paragraph separators, NEL", QStringLiteral("a\u2028b\u2029c\u0085d"),
            QStringLiteral("a b c d") },
        { "the end of a bracketed paste", QStringLiteral("ls\x1b[201~\nrm x"), QStringLiteral("ls[201~ rm x") },
        { "backspace, NUL, DEL and a C1 control", QStringLiteral("a\bb") + QChar(0) + QStringLiteral("c\x7f\u009bd"),
            QStringLiteral("abcd") },
        { "tabs become spaces", QStringLiteral("make\tall"), QStringLiteral("make all") },
        { "nothing but breaks", QStringLiteral("\r\n\n"), QString() },
        { "plain words and other scripts stay", QStringLiteral("列出 文件 — café 👍"),
            QStringLiteral("列出 文件 — café 👍") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DictatedText::asOneLine(row.said), row.sent);
    }
}

} // namespace
} // namespace murmeli::voice
