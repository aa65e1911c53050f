#include "main/notch/model/ApprovalDetail.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include "main/common/TextUtils.h"

namespace murmeli::notch::ApprovalDetail {

namespace {

const QString shellTool = QStringLiteral("Bash");
const QString commandKey = QStringLiteral("command");
/// The agent's own words about a command; what runs is the command, so they are not shown as if they were it.
const QString shellNarration = QStringLiteral("description");

/// The fields that say what a tool of the agent will do, in the order the card lists them; the input's other
/// fields follow them.
QStringList tellingFields(const QString& toolName)
{
    static const QHash<QString, QStringList> fields {
        { QStringLiteral("Write"), { "file_path", "content" } },
        { QStringLiteral("Edit"), { "file_path", "old_string", "new_string", "replace_all" } },
        { QStringLiteral("MultiEdit"), { "file_path", "edits" } },
        { QStringLiteral("Read"), { "file_path", "offset", "limit" } },
        { QStringLiteral("NotebookEdit"), { "notebook_path", "cell_id", "edit_mode", "new_source" } },
        { QStringLiteral("WebFetch"), { "url", "prompt" } },
        { QStringLiteral("WebSearch"), { "query", "allowed_domains", "blocked_domains" } },
        { QStringLiteral("Glob"), { "pattern", "path" } },
        { QStringLiteral("Grep"), { "pattern", "path", "glob" } },
        { QStringLiteral("Agent"), { "subagent_type", "description", "prompt" } },
        { QStringLiteral("Task"), { "subagent_type", "description", "prompt" } },
    };
    return fields.value(toolName);
}

QString valueText(const QJsonValue& value)
{
    if (value.isString()) {
        return value.toString();
    }
    // Anything else exactly as JSON writes it.
    const QByteArray json = QJsonDocument(QJsonArray { value }).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString fieldLine(const QString& key, const QJsonValue& value)
{
    const QString text = valueText(value);
    return key + (text.contains(QLatin1Char('\n')) ? QStringLiteral(":\n") : QStringLiteral(": ")) + text;
}

/// Head and tail of text around a line that names what was left out, never splitting a surrogate pair.
PendingApproval cut(QString text, PendingApproval approval)
{
    if (text.size() <= maxCharacters) {
        approval.detail = std::move(text);
        return approval;
    }
    qsizetype headEnd = maxCharacters / 2;
    if (text.at(headEnd - 1).isHighSurrogate()) {
        --headEnd;
    }
    qsizetype tailStart = text.size() - maxCharacters / 2;
    if (text.at(tailStart).isLowSurrogate()) {
        ++tailStart;
    }
    approval.omittedCharacters = tailStart - headEnd;
    approval.detail = text.left(headEnd)
        + QStringLiteral("\n[\u2026 %1 characters left out \u2026]\n").arg(approval.omittedCharacters)
        + text.mid(tailStart);
    return approval;
}

} // namespace

QString describe(const QString& toolName, const QJsonObject& toolInput)
{
    QStringList lines;
    QStringList rest = toolInput.keys();
    if (toolName == shellTool && toolInput.value(commandKey).isString()) {
        lines.append(QStringLiteral("$ ") + toolInput.value(commandKey).toString());
        rest.removeOne(commandKey);
        rest.removeOne(shellNarration);
    }
    for (const QString& key : tellingFields(toolName)) {
        if (toolInput.contains(key)) {
            lines.append(fieldLine(key, toolInput.value(key)));
            rest.removeOne(key);
        }
    }
    for (const QString& key : rest) {
        lines.append(fieldLine(key, toolInput.value(key)));
    }
    return lines.join(QLatin1Char('\n'));
}

PendingApproval of(const hooks::ApprovalRequest& request)
{
    const QJsonObject input = QJsonDocument::fromJson(request.rawInputJSON).object();
    PendingApproval approval { request.toolUseId, request.toolName, request.commandPreview, {}, 0 };
    return cut(common::text::visible(describe(request.toolName, input)), std::move(approval));
}

} // namespace murmeli::notch::ApprovalDetail
