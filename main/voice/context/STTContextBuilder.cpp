#include "main/voice/context/STTContextBuilder.h"

#include <QSet>

#include "main/common/TextUtils.h"

namespace murmeli::voice::STTContextBuilder {

namespace {

// The transcript records a file name as the target of exactly these tools.
bool touchesFile(const hooks::TranscriptTool& tool)
{
    return tool.name == QLatin1String("Read") || tool.name == QLatin1String("Write")
        || tool.name == QLatin1String("Edit");
}

bool isLongEnough(const QString& word)
{
    return common::text::characterCount(word) >= minHotwordCharacters;
}

void addTerm(QMap<QString, int>& hotwords, const QString& term, int weight)
{
    if (isLongEnough(term) && hotwords.value(term, 0) < weight) {
        hotwords.insert(term, weight);
    }
}

// The distinct values of `pick` over the transcript's tools, the most recent first, at most `limit`.
template <typename Pick> QStringList latestDistinct(const hooks::TranscriptData& transcript, qsizetype limit, Pick pick)
{
    QStringList found;
    QSet<QString> seen;
    for (auto it = transcript.tools.crbegin(); it != transcript.tools.crend() && found.size() < limit; ++it) {
        const QString value = pick(*it);
        if (!value.isEmpty() && !seen.contains(value)) {
            seen.insert(value);
            found.append(value);
        }
    }
    return found;
}

} // namespace

QStringList recentFiles(const hooks::TranscriptData& transcript)
{
    return latestDistinct(transcript, maxRecentFiles,
        [](const hooks::TranscriptTool& tool) { return touchesFile(tool) ? tool.target : QString(); });
}

QMap<QString, int> sessionHotwords(const SessionView& session)
{
    QMap<QString, int> hotwords;
    const QStringList toolNames
        = latestDistinct(session.transcript, maxToolNames, [](const hooks::TranscriptTool& tool) { return tool.name; });
    for (const QString& name : toolNames) {
        addTerm(hotwords, name, toolWeight);
    }
    if (session.status) {
        addTerm(hotwords, session.status->activityTool, toolWeight);
    }
    for (const QString& file : recentFiles(session.transcript)) {
        addTerm(hotwords, file, fileWeight);
    }
    if (session.status) {
        addTerm(hotwords, session.status->project, projectWeight);
    }
    return hotwords;
}

void applyCustomHotwords(QMap<QString, int>& hotwords, const QStringList& customHotwords, int weight)
{
    for (const QString& word : customHotwords) {
        if (isLongEnough(word)) {
            hotwords.insert(word, weight);
        }
    }
}

STTContext build(
    const SessionView& session, const QStringList& customHotwords, int customHotwordWeight, const QString& locale)
{
    QMap<QString, int> hotwords = sessionHotwords(session);
    applyCustomHotwords(hotwords, customHotwords, customHotwordWeight);
    const QString tool = session.status ? session.status->activityTool : QString();
    const double cost = session.status ? session.status->costUSD : 0;
    return STTContext(tool, recentFiles(session.transcript), cost, std::move(hotwords), locale);
}

} // namespace murmeli::voice::STTContextBuilder
