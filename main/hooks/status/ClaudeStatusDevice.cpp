#include "main/hooks/status/ClaudeStatus.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

namespace {

using common::text::prefixCharacters;

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

QString ClaudeStatus::ledColor(qint64 nowSecs) const
{
    if (wantsAttention(*this)) {
        return QStringLiteral("red");
    }
    if (isIdle) {
        return QStringLiteral("green");
    }
    if (looksBusy(*this, nowSecs)) {
        return QStringLiteral("blue");
    }
    if (contextPercent > 75) {
        return QStringLiteral("orange");
    }
    if (contextPercent > 50) {
        return QStringLiteral("yellow");
    }
    return QStringLiteral("green");
}

QString ClaudeStatus::ledMode(qint64 nowSecs) const
{
    if (wantsAttention(*this)) {
        return QStringLiteral("k");
    }
    if (isIdle) {
        return QStringLiteral("s");
    }
    return looksBusy(*this, nowSecs) ? QStringLiteral("b") : QStringLiteral("s");
}

QString ClaudeStatus::oledCommand(const QString& toolSource, const QString& sessionName, int runningAgents,
    int waitingAgents, const QString& todoSummary, qint64 tokens, qint64 tokensToday) const
{
    const QChar comma = QLatin1Char(',');
    const QString head = QStringLiteral("D:") + QString::number(contextPercent) + comma + QString::number(rate5h)
        + comma + QString::number(rate7d) + comma + costField(costUSD) + comma + QString::number(totalDurationMs / 1000)
        + comma + QString::number(linesAdded) + comma + QString::number(linesRemoved) + comma + stateWord(*this)
        + comma;
    const QString middle = comma + prefixCharacters(withoutSeparators(toolSource), toolChars) + comma
        + prefixCharacters(withoutSeparators(sessionName), sessionNameChars) + comma
        + formatAgentsField(runningAgents, waitingAgents) + comma;
    const QString tail = comma + QString::number(std::max<qint64>(tokens, 0)) + comma
        + QString::number(std::max<qint64>(tokensToday, 0));
    const QString cleanActivity = withoutSeparators(activity);
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

QString ClaudeStatus::formatAgentsField(int running, int waiting)
{
    return QLatin1Char('{') + QString::number(std::clamp(running, 0, maxAgentCount)) + QLatin1Char('/')
        + QString::number(std::clamp(waiting, 0, maxAgentCount)) + QLatin1Char('}');
}

} // namespace murmeli::hooks
