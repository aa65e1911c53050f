#include "main/device/lines/SessionDisplay.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "main/common/TextUtils.h"

namespace murmeli::device::SessionDisplay {

namespace {

using common::text::prefixCharacters;
using hooks::ClaudeStatus;

// The device's line buffer; a longer line is rebuilt with the two widest free-text fields cut shorter.
constexpr qsizetype maxLineBytes = 180;
constexpr int activityChars = 40;
constexpr int activityCharsShort = 20;
constexpr int toolChars = 8;
constexpr int sessionNameChars = 16;
constexpr int todoChars = 20;
constexpr int todoCharsShort = 10;
constexpr int maxAgentCount = 999;

bool wantsAttention(const ClaudeStatus& status)
{
    return status.needsAttention || status.contextPercent > 90;
}

// Same freshness as isWorking, but asked only after attention and idle have been ruled out.
bool looksBusy(const ClaudeStatus& status, qint64 nowSecs)
{
    if (!status.activity.isEmpty() || status.isWorkingSignal) {
        return true;
    }
    if (status.lastStatusTs <= 0) {
        return false;
    }
    return nowSecs - status.lastStatusTs < ClaudeStatus::statusFreshnessSeconds;
}

// Agent-written text must not shift the device's fields or start a forged line, so the characters that the link
// and the device split on are dropped from it.
bool isLineSeparator(QChar c)
{
    switch (c.unicode()) {
    case u',':
    case u'|':
    case u'\r':
    case u'\n':
    case 0x0085:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

QString withoutSeparators(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), isLineSeparator)) {
        return text;
    }
    QString cleaned;
    cleaned.reserve(text.size());
    for (const QChar c : text) {
        if (!isLineSeparator(c)) {
            cleaned.append(c);
        }
    }
    return cleaned;
}

// to_chars ignores the process locale, which QCoreApplication sets from the environment; the device always
// expects "." as the decimal point.
QString costField(double usd)
{
    std::array<char, 400> buffer {}; // the largest double printed with two decimals needs 312
    const auto [end, error]
        = std::to_chars(buffer.data(), buffer.data() + buffer.size(), usd, std::chars_format::fixed, 2);
    if (error != std::errc()) {
        return QStringLiteral("$0.00");
    }
    return QLatin1Char('$') + QString::fromLatin1(buffer.data(), end - buffer.data());
}

QString stateWord(const ClaudeStatus& status)
{
    if (status.needsAttention) {
        return QStringLiteral("APPROVE");
    }
    return status.isIdle ? QStringLiteral("Idle") : QStringLiteral("Working");
}

} // namespace

QString ledColor(const ClaudeStatus& status, qint64 nowSecs)
{
    if (wantsAttention(status)) {
        return QStringLiteral("red");
    }
    if (status.isIdle) {
        return QStringLiteral("green");
    }
    if (looksBusy(status, nowSecs)) {
        return QStringLiteral("blue");
    }
    if (status.contextPercent > 75) {
        return QStringLiteral("orange");
    }
    if (status.contextPercent > 50) {
        return QStringLiteral("yellow");
    }
    return QStringLiteral("green");
}

QString ledMode(const ClaudeStatus& status, qint64 nowSecs)
{
    if (wantsAttention(status)) {
        return QStringLiteral("k");
    }
    if (status.isIdle) {
        return QStringLiteral("s");
    }
    return looksBusy(status, nowSecs) ? QStringLiteral("b") : QStringLiteral("s");
}

QString oledCommand(const ClaudeStatus& status, const QString& toolSource, const QString& sessionName,
    int runningAgents, int waitingAgents, const QString& todoSummary, qint64 tokens, qint64 tokensToday)
{
    const QChar comma = QLatin1Char(',');
    const QString head = QStringLiteral("D:") + QString::number(status.contextPercent) + comma
        + QString::number(status.rate5h) + comma + QString::number(status.rate7d) + comma + costField(status.costUSD)
        + comma + QString::number(status.totalDurationMs / 1000) + comma + QString::number(status.linesAdded) + comma
        + QString::number(status.linesRemoved) + comma + stateWord(status) + comma;
    // A control in the tool's name shows as an escape rather than reorder the line.
    const QString tool = common::text::visible(withoutSeparators(toolSource), common::text::Breaks::Escape);
    const QString middle = comma + prefixCharacters(tool, toolChars) + comma
        + prefixCharacters(withoutSeparators(sessionName), sessionNameChars) + comma
        + formatAgentsField(runningAgents, waitingAgents) + comma;
    const QString tail = comma + QString::number(std::max<qint64>(tokens, 0)) + comma
        + QString::number(std::max<qint64>(tokensToday, 0));
    // What a session last did is often a tool's name; its tabs stay, as in the other fields.
    const QString cleanActivity = common::text::visible(withoutSeparators(status.activity));
    const QString cleanTodo = withoutSeparators(todoSummary);

    const auto build = [&](int activityLimit, int todoLimit) {
        return head + prefixCharacters(cleanActivity, activityLimit) + middle + prefixCharacters(cleanTodo, todoLimit)
            + tail;
    };
    const QString line = build(activityChars, todoChars);
    if (line.toUtf8().size() <= maxLineBytes) {
        return line;
    }
    return build(activityCharsShort, todoCharsShort);
}

QString formatAgentsField(int running, int waiting)
{
    return QLatin1Char('{') + QString::number(std::clamp(running, 0, maxAgentCount)) + QLatin1Char('/')
        + QString::number(std::clamp(waiting, 0, maxAgentCount)) + QLatin1Char('}');
}

} // namespace murmeli::device::SessionDisplay
