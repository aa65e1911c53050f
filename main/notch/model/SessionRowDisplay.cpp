#include "main/notch/model/SessionRowDisplay.h"

#include <QTextBoundaryFinder>

namespace murmeli::notch {

namespace {

constexpr int commandPreviewCharacters = 50;

// The first count characters as a person counts them: an emoji or a letter with its accents is one.
QString leadingCharacters(const QString& text, int count)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    int taken = 0;
    while (taken < count && graphemes.toNextBoundary() != -1) {
        ++taken;
    }
    return taken < count ? text : text.left(graphemes.position());
}

QString lastPathComponent(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) {
        trimmed.chop(1);
    }
    if (trimmed == QLatin1String("/")) {
        return trimmed;
    }
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

// Each word's first character upper case, every other letter lower case; words break where Unicode says they do.
QString capitalised(const QString& text)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    QString result;
    qsizetype start = 0;
    while (words.toNextBoundary() != -1) {
        const QString segment = text.mid(start, words.position() - start);
        start = words.position();
        if (segment.isEmpty() || !QChar::isLetterOrNumber(segment.toUcs4().at(0))) {
            result += segment;
            continue;
        }
        const qsizetype firstLength = segment.at(0).isHighSurrogate() ? 2 : 1;
        result += segment.left(firstLength).toUpper() + segment.mid(firstLength).toLower();
    }
    return result;
}

} // namespace

SessionRowPresence sessionRowPresence(const SessionState& state, const QDateTime& updatedAt, const QDateTime& now)
{
    switch (state.kind()) {
    case SessionState::Kind::Error:
    case SessionState::Kind::NeedsApproval:
    case SessionState::Kind::WaitingForAnswer:
        return SessionRowPresence::Active;
    case SessionState::Kind::Working:
    case SessionState::Kind::PttActive:
    case SessionState::Kind::Compacting:
        return updatedAt.msecsTo(now) < sessionRowActiveWindowMs ? SessionRowPresence::Active
                                                                 : SessionRowPresence::Inactive;
    case SessionState::Kind::NoSession:
    case SessionState::Kind::Idle:
        break;
    }
    return SessionRowPresence::Inactive;
}

QString sessionRowAgeBadge(const QDateTime& updatedAt, const QDateTime& now)
{
    // Whole seconds, truncated toward zero; an invalid date counts as no time at all.
    const qint64 seconds = updatedAt.msecsTo(now) / 1000;
    if (seconds < 60) {
        return QStringLiteral("now");
    }
    if (seconds < 3600) {
        return QString::number(seconds / 60) + QLatin1Char('m');
    }
    if (seconds < 86400) {
        return QString::number(seconds / 3600) + QLatin1Char('h');
    }
    return QString::number(seconds / 86400) + QLatin1Char('d');
}

bool sessionRowIsRemote(const QString& cwd)
{
    if (cwd.startsWith(QLatin1String("ssh://"))) {
        return true;
    }
    if (cwd.startsWith(QLatin1Char('/'))) {
        return false;
    }
    return cwd.contains(QLatin1Char(':'));
}

std::optional<QString> sessionRowActivityLine(const QString& toolName, const QString& commandPreview)
{
    if (toolName.isEmpty()) {
        return std::nullopt;
    }
    const QString p = commandPreview.trimmed();
    const bool empty = p.isEmpty();
    if (toolName == QLatin1String("Bash") || toolName == QLatin1String("exec_command")) {
        return empty ? QStringLiteral("Running command")
                     : QStringLiteral("$ ") + leadingCharacters(p, commandPreviewCharacters);
    }
    if (toolName == QLatin1String("Edit")) {
        return empty ? QStringLiteral("Editing file") : QStringLiteral("Editing ") + lastPathComponent(p);
    }
    if (toolName == QLatin1String("Read")) {
        return empty ? QStringLiteral("Reading file") : QStringLiteral("Reading ") + lastPathComponent(p);
    }
    if (toolName == QLatin1String("Write")) {
        return empty ? QStringLiteral("Writing file") : QStringLiteral("Writing ") + lastPathComponent(p);
    }
    if (toolName == QLatin1String("Glob") || toolName == QLatin1String("Grep")) {
        return empty ? QStringLiteral("Searching") : toolName + QLatin1Char(' ') + p;
    }
    return empty ? toolName : toolName + QLatin1Char(' ') + p;
}

QString sessionRowCommandLabel(const QString& toolName)
{
    static const struct {
        QLatin1String tool;
        QLatin1String label;
    } named[] = {
        { QLatin1String("exec_command"), QLatin1String("Bash") },
        { QLatin1String("Bash"), QLatin1String("Bash") },
        { QLatin1String("AskUserQuestion"), QLatin1String("Question") },
        { QLatin1String("ExitPlanMode"), QLatin1String("Plan") },
        { QLatin1String("apply_patch"), QLatin1String("Patch") },
        { QLatin1String("write_stdin"), QLatin1String("Input") },
    };
    for (const auto& entry : named) {
        if (toolName == entry.tool) {
            return entry.label;
        }
    }
    if (toolName.isEmpty()) {
        return QStringLiteral("Command");
    }
    return capitalised(toolName);
}

} // namespace murmeli::notch
