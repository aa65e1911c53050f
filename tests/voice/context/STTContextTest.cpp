#include "main/voice/context/STTContext.h"

#include <gtest/gtest.h>

namespace murmeli::voice {
namespace {

const QString opening = QStringLiteral("用户正在使用 Claude Code。");
const QString closing = QStringLiteral("请准确识别技术术语，包括函数名、文件名、变量名。");

QStringList names(int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i) {
        list.append(QStringLiteral("f%1.cpp").arg(i));
    }
    return list;
}

TEST(STTContextTest, ThePromptNamesToolFilesAndTermsBetweenTheFixedSentences)
{
    struct Row {
        const char* name;
        STTContext context;
        QString middle;
    };
    const Row rows[] = {
        { "empty", STTContext::empty(), QString() },
        { "cost and locale only", STTContext({}, {}, 3.5, {}, QStringLiteral("en-US")), QString() },
        { "all three",
            STTContext(
                QStringLiteral("Edit"), { QStringLiteral("main.cpp") }, 0.2, { { QStringLiteral("QCoro"), 25 } }),
            QStringLiteral("当前工具: Edit。最近文件: main.cpp。关键术语: QCoro。") },
        { "files only", STTContext({}, names(2), 0, {}), QStringLiteral("最近文件: f1.cpp, f2.cpp。") },
        { "five files", STTContext({}, names(5), 0, {}),
            QStringLiteral("最近文件: f1.cpp, f2.cpp, f3.cpp, f4.cpp, f5.cpp。") },
        { "seven files", STTContext({}, names(7), 0, {}),
            QStringLiteral("最近文件: f1.cpp, f2.cpp, f3.cpp, f4.cpp, f5.cpp。") },
        { "terms by weight",
            STTContext(QStringLiteral("Bash"), {}, 0,
                { { QStringLiteral("light"), 1 }, { QStringLiteral("heavy"), 30 }, { QStringLiteral("middle"), 15 } }),
            QStringLiteral("当前工具: Bash。关键术语: heavy, middle, light。") },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.context.whisperPrompt(), opening + row.middle + closing) << row.name;
    }
}

TEST(STTContextTest, HotwordsRankHeaviestFirstAndEachReaderCutsItsOwnLength)
{
    QMap<QString, int> hotwords;
    QStringList heaviestFirst;
    for (int weight = 25; weight >= 1; --weight) {
        const QString word = QStringLiteral("w%1").arg(QChar(u'a' + weight));
        hotwords.insert(word, weight);
        heaviestFirst.append(word);
    }
    const STTContext context({}, {}, 0, hotwords);
    EXPECT_EQ(context.rankedHotwords(20), heaviestFirst.first(20));
    EXPECT_EQ(context.rankedHotwords(30), heaviestFirst);
    EXPECT_TRUE(
        context.whisperPrompt().contains(QStringLiteral("关键术语: ") + heaviestFirst.first(20).join(", ") + "。"));

    STTContext changed = context;
    changed.setLocale(QStringLiteral("ja-JP"));
    EXPECT_EQ(changed.locale(), "ja-JP");
    EXPECT_EQ(context.locale(), "zh-CN");
}

} // namespace
} // namespace murmeli::voice
