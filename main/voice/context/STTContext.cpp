#include "main/voice/context/STTContext.h"

#include <algorithm>
#include <utility>

#include <QList>

namespace murmeli::voice {

STTContext::STTContext(QString tool, QStringList files, double costUSD, QMap<QString, int> hotwords, QString locale)
    : m_tool(std::move(tool)), m_files(std::move(files)), m_costUSD(costUSD), m_hotwords(std::move(hotwords)),
      m_locale(std::move(locale))
{
}

const STTContext& STTContext::empty()
{
    static const STTContext context;
    return context;
}

QStringList STTContext::rankHotwords(const QMap<QString, int>& hotwords, int limit)
{
    QList<std::pair<QString, int>> pairs;
    for (auto it = hotwords.cbegin(); it != hotwords.cend(); ++it) {
        pairs.append({ it.key(), it.value() });
    }
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    QStringList keys;
    for (qsizetype i = 0; i < pairs.size() && i < limit; ++i) {
        keys.append(pairs.at(i).first);
    }
    return keys;
}

QString STTContext::whisperPrompt() const
{
    QStringList clauses;
    if (!m_tool.isEmpty()) {
        clauses.append(QStringLiteral("当前工具: ") + m_tool);
    }
    // Five names say enough about where the user is working; a longer list only dilutes the prompt.
    const QStringList files = m_files.size() > promptFileLimit ? m_files.first(promptFileLimit) : m_files;
    if (!files.isEmpty()) {
        clauses.append(QStringLiteral("最近文件: ") + files.join(QStringLiteral(", ")));
    }
    if (const QStringList terms = rankedHotwords(promptHotwordLimit); !terms.isEmpty()) {
        clauses.append(QStringLiteral("关键术语: ") + terms.join(QStringLiteral(", ")));
    }
    const QString middle = clauses.isEmpty() ? QString() : clauses.join(QStringLiteral("。")) + QStringLiteral("。");
    return QStringLiteral("用户正在使用 Claude Code。") + middle
        + QStringLiteral("请准确识别技术术语，包括函数名、文件名、变量名。");
}

} // namespace murmeli::voice
