#include "main/device/tts/TTSPrompt.h"

#include <algorithm>
#include <utility>

#include <QStringList>

#include "main/common/TextUtils.h"

namespace murmeli::device::TTSPrompt {

namespace {

QStringList wordsOf(const QString& text)
{
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Blanks are spaces, tabs and the other space separators; line breaks are not.
bool isBlank(QChar c)
{
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && isBlank(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

} // namespace

QString shortToolName(const QString& toolName)
{
    // Said as the card writes it: a control in the name is read out, not obeyed.
    const QString name = common::text::visible(toolName, common::text::Breaks::Escape);
    if (!name.startsWith(QLatin1String("mcp__"))) {
        return name.toLower();
    }
    const QStringList pieces = name.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? name : pieces.last();
}

QString prefixWords(const QString& text, int max)
{
    const QStringList words = wordsOf(text);
    if (max >= words.size()) {
        return trimBlanks(text);
    }
    return words.first(max).join(QLatin1Char(' '));
}

QString forApproval(const QString& toolName, const QString& commandPreview)
{
    const QString shortName = shortToolName(toolName);
    // Another tool's preview is its name.
    const QString preview = common::text::visible(commandPreview);
    if (preview.isEmpty()) {
        return QStringLiteral("Need approval. ") + shortName;
    }
    if (toolName == QLatin1String("Bash")) {
        return QStringLiteral("Approve. ") + prefixWords(preview, 6);
    }
    return QStringLiteral("Approve. ") + shortName + QLatin1Char(' ') + prefixWords(preview, 5);
}

QString forToolFailure(const QString& toolName, const QString& error)
{
    const QString shortName = shortToolName(toolName);
    if (error.isEmpty()) {
        return shortName + QStringLiteral(" failed");
    }
    return shortName + QStringLiteral(" failed. ") + prefixWords(error, 5);
}

QString forStopFailure(const QString& errorType, const QString& errorMessage)
{
    static const std::pair<const char*, const char*> known[] = {
        { "rate_limit", "Rate limit. Please wait" },
        { "billing_error", "Billing error" },
        { "server_error", "Server error" },
        { "max_output_tokens", "Output too long" },
        { "authentication_failed", "Authentication failed" },
        { "invalid_request", "Invalid request" },
    };
    for (const auto& [type, phrase] : known) {
        if (errorType == QLatin1String(type)) {
            return QString::fromLatin1(phrase);
        }
    }
    if (errorMessage.isEmpty()) {
        return QStringLiteral("Error occurred");
    }
    return QStringLiteral("Error. ") + prefixWords(errorMessage, 5);
}

QString forStop(const hooks::TranscriptData& transcript, const std::optional<hooks::ClaudeStatus>& status)
{
    const qsizetype total = transcript.todos.size();
    if (total > 0) {
        const qsizetype completed = std::count_if(transcript.todos.begin(), transcript.todos.end(),
            [](const hooks::TranscriptTodo& todo) { return todo.status == QLatin1String("completed"); });
        return QStringLiteral("Done. %1 of %2 tasks complete").arg(completed).arg(total);
    }
    if (status && (status->linesAdded > 0 || status->linesRemoved > 0)) {
        QStringList pieces { QStringLiteral("Done.") };
        if (status->linesAdded > 0) {
            pieces << QStringLiteral("%1 lines added").arg(status->linesAdded);
        }
        if (status->linesRemoved > 0) {
            pieces << QStringLiteral("%1 removed").arg(status->linesRemoved);
        }
        return pieces.join(QLatin1Char(' '));
    }
    const QList<std::pair<QString, int>> counts = transcript.completedToolCounts();
    if (counts.isEmpty()) {
        return QStringLiteral("Task complete");
    }
    QStringList entries;
    for (qsizetype i = 0; i < counts.size() && i < 2; ++i) {
        entries << QStringLiteral("%1 %2").arg(counts[i].second).arg(shortToolName(counts[i].first));
    }
    return QStringLiteral("Done. ") + entries.join(QStringLiteral(", "));
}

} // namespace murmeli::device::TTSPrompt
