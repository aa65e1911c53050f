#include "main/device/lines/StatusLines.h"

#include "main/device/lines/SessionDisplay.h"

#include "main/device/lines/DeviceText.h"

namespace murmeli::device {

namespace {

constexpr int todoContentChars = 20;
// A model's display name ("Sonnet 4.5 (1M context)") and a session id (a UUID) fit with room; the device needs no
// more, and a status file that says more must not hold up the link.
constexpr int modelChars = 32;
constexpr int sessionIdChars = 64;

QString todoLine(const QList<hooks::TranscriptTodo>& todos)
{
    qsizetype completed = 0;
    QString inProgress;
    bool inProgressFound = false;
    for (const hooks::TranscriptTodo& todo : todos) {
        if (todo.status == QLatin1String("completed")) {
            ++completed;
        } else if (!inProgressFound && todo.status == QLatin1String("in_progress")) {
            inProgress = todo.content;
            inProgressFound = true;
        }
    }
    return QStringLiteral("T:") + QString::number(todos.size()) + QLatin1Char(',') + QString::number(completed)
        + QLatin1Char(',') + DeviceText::cleanAndCut(inProgress, todoContentChars);
}

} // namespace

QStringList StatusLines::compose(
    const hooks::ClaudeStatus& status, const hooks::TranscriptData& transcript, Counts counts, qint64 nowSecs)
{
    QStringList lines;
    lines << QStringLiteral("L:") + SessionDisplay::ledColor(status, nowSecs) + QLatin1Char(',') + SessionDisplay::ledMode(status, nowSecs);

    const int running = counts.runningAgents < 1 ? transcript.runningAgentCount() : counts.runningAgents;
    const QString todoSummary = transcript.todoSummary();
    lines << SessionDisplay::oledCommand(status, status.tool, transcript.sessionName.value_or(QString()), running, counts.waitingAgents,
        todoSummary, counts.tokens, counts.tokensToday);

    if (status.model != m_lastModel) {
        m_lastModel = status.model;
        lines << QStringLiteral("M:") + DeviceText::cleanAndCut(status.model, modelChars);
    }
    if (status.sessionId != m_lastSession) {
        m_lastSession = status.sessionId;
        lines << QStringLiteral("S:") + DeviceText::cleanAndCut(status.sessionId, sessionIdChars);
    }
    if (todoSummary != m_lastTodoSummary) {
        m_lastTodoSummary = todoSummary;
        if (!transcript.todos.isEmpty()) {
            lines << todoLine(transcript.todos);
        }
    }
    return lines;
}

void StatusLines::forget()
{
    m_lastModel.clear();
    m_lastSession.clear();
    m_lastTodoSummary.clear();
}

} // namespace murmeli::device
