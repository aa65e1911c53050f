#include "main/hooks/transcript/TranscriptData.h"

#include <algorithm>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

namespace {

const QString running = QStringLiteral("running");

// The device's status line has room for little more than this.
constexpr int todoSummaryTaskCharacters = 30;

} // namespace

QList<TranscriptTool> TranscriptData::runningTools() const
{
    QList<TranscriptTool> result;
    for (const TranscriptTool& tool : tools) {
        if (tool.status == running) {
            result.append(tool);
        }
    }
    return result;
}

int TranscriptData::runningAgentCount() const
{
    return static_cast<int>(
        std::count_if(agents.cbegin(), agents.cend(), [](const TranscriptAgent& a) { return a.status == running; }));
}

QList<std::pair<QString, int>> TranscriptData::completedToolCounts() const
{
    QList<std::pair<QString, int>> counts;
    for (const TranscriptTool& tool : tools) {
        if (tool.status != QLatin1String("completed") && tool.status != QLatin1String("error")) {
            continue;
        }
        const auto found = std::find_if(counts.begin(), counts.end(),
            [&](const std::pair<QString, int>& entry) { return entry.first == tool.name; });
        if (found == counts.end()) {
            counts.append({ tool.name, 1 });
        } else {
            ++found->second;
        }
    }
    // Stable, so equal counts keep the order in which their tools first finished.
    std::stable_sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return counts;
}

QString TranscriptData::todoSummary() const
{
    if (todos.isEmpty()) {
        return {};
    }
    const auto done = std::count_if(
        todos.cbegin(), todos.cend(), [](const TranscriptTodo& t) { return t.status == QLatin1String("completed"); });
    QString summary = QString::number(done) + QLatin1Char('/') + QString::number(todos.size());
    const auto active = std::find_if(
        todos.cbegin(), todos.cend(), [](const TranscriptTodo& t) { return t.status == QLatin1String("in_progress"); });
    if (active != todos.cend() && !active->content.isEmpty()) {
        summary += QLatin1Char(' ') + common::text::prefixCharacters(active->content, todoSummaryTaskCharacters);
    }
    return summary;
}

} // namespace murmeli::hooks
