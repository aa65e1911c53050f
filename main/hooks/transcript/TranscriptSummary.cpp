#include "main/hooks/transcript/TranscriptSummary.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

namespace {

const QString running = QStringLiteral("running");

// Targets and sub-agent types are shown on a narrow panel.
constexpr int shortCharacters = 30;

bool isString(const QJsonValue& value, QLatin1String expected)
{
    return value.isString() && value.toString() == expected;
}

// The agent writes lists of objects; a list holding anything else is not one of them and is ignored whole.
std::optional<QJsonArray> arrayOfObjects(const QJsonValue& value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    const QJsonArray array = value.toArray();
    const bool allObjects = std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isObject(); });
    return allObjects ? std::optional(array) : std::nullopt;
}

QString extractTarget(const QString& name, const std::optional<QJsonObject>& input)
{
    if (!input) {
        return {};
    }
    if (name == QLatin1String("Read") || name == QLatin1String("Write") || name == QLatin1String("Edit")) {
        const QJsonValue filePath = input->value(QLatin1String("file_path"));
        const QJsonValue path = filePath.isString() ? filePath : input->value(QLatin1String("path"));
        return common::text::lastPathComponent(path.toString());
    }
    if (name == QLatin1String("Glob") || name == QLatin1String("Grep")) {
        return input->value(QLatin1String("pattern")).toString();
    }
    if (name == QLatin1String("Bash")) {
        return common::text::prefixCharacters(input->value(QLatin1String("command")).toString(), shortCharacters);
    }
    return {};
}

// Appends the item and keeps only the latest `limit`, with the index of each id.
template <typename Item>
void appendCapped(QList<Item>& list, QHash<QString, qsizetype>& index, Item item, qsizetype limit)
{
    index.insert(item.id, list.size());
    list.append(std::move(item));
    if (list.size() <= limit) {
        return;
    }
    list.remove(0, list.size() - limit);
    // Rebuilt in order, so that of two entries with one id the later one gets the result.
    index.clear();
    for (qsizetype i = 0; i < list.size(); ++i) {
        index.insert(list.at(i).id, i);
    }
}

} // namespace

void TranscriptSummary::reset()
{
    m_data = TranscriptData();
    m_toolMap.clear();
    m_agentMap.clear();
}

int TranscriptSummary::apply(const QJsonObject& line)
{
    const QJsonValue slug = line.value(QLatin1String("slug"));
    if (slug.isString()) {
        m_data.sessionName = slug.toString();
    }
    const QJsonValue customTitle = line.value(QLatin1String("customTitle"));
    if (customTitle.isString()) {
        m_data.sessionName = customTitle.toString();
    }
    const QJsonObject message = line.value(QLatin1String("message")).toObject();
    const auto blocks = arrayOfObjects(message.value(QLatin1String("content")));
    if (!blocks) {
        return 0;
    }
    const bool fromAssistant = isString(message.value(QLatin1String("role")), QLatin1String("assistant"));
    int finished = 0;
    for (const QJsonValue& value : *blocks) {
        const QJsonObject block = value.toObject();
        const QString type = block.value(QLatin1String("type")).toString();
        if (type == QLatin1String("text")) {
            const QString text = block.value(QLatin1String("text")).toString();
            if (fromAssistant && !text.isEmpty()) {
                m_data.lastAssistantText = text;
            }
        } else if (type == QLatin1String("tool_use")) {
            useTool(block);
        } else if (type == QLatin1String("tool_result")) {
            finished += finishTool(block);
        }
    }
    return finished;
}

void TranscriptSummary::useTool(const QJsonObject& block)
{
    const QJsonValue id = block.value(QLatin1String("id"));
    const QJsonValue name = block.value(QLatin1String("name"));
    if (!id.isString() || !name.isString()) {
        return;
    }
    const QJsonValue inputValue = block.value(QLatin1String("input"));
    const auto input = inputValue.isObject() ? std::optional(inputValue.toObject()) : std::nullopt;
    const QString toolName = name.toString();
    // Sub-agents and to-do updates are bookkeeping of the agent, not work the panel lists as tools.
    if (toolName == QLatin1String("Task") || toolName == QLatin1String("Agent")) {
        startAgent(id.toString(), input);
    } else if (toolName == QLatin1String("TodoWrite")) {
        const auto todos = input ? arrayOfObjects(input->value(QLatin1String("todos"))) : std::nullopt;
        if (todos) {
            replaceTodos(*todos);
        }
    } else {
        appendCapped(m_data.tools, m_toolMap,
            TranscriptTool { id.toString(), toolName, extractTarget(toolName, input), running }, toolHistoryLimit);
    }
}

void TranscriptSummary::startAgent(const QString& id, const std::optional<QJsonObject>& input)
{
    QString type = QStringLiteral("agent");
    if (input) {
        const QJsonValue subagentType = input->value(QLatin1String("subagent_type"));
        const QJsonValue description = input->value(QLatin1String("description"));
        if (subagentType.isString()) {
            type = subagentType.toString();
        } else if (description.isString()) {
            type = description.toString();
        }
    }
    appendCapped(m_data.agents, m_agentMap,
        TranscriptAgent { id, common::text::prefixCharacters(type, shortCharacters), running }, agentHistoryLimit);
}

void TranscriptSummary::replaceTodos(const QJsonArray& todos)
{
    m_data.todos.clear();
    for (const QJsonValue& value : todos) {
        const QJsonObject todo = value.toObject();
        const QJsonValue status = todo.value(QLatin1String("status"));
        m_data.todos.append({ todo.value(QLatin1String("content")).toString(),
            status.isString() ? status.toString() : QStringLiteral("pending") });
    }
}

int TranscriptSummary::finishTool(const QJsonObject& block)
{
    const QJsonValue idValue = block.value(QLatin1String("tool_use_id"));
    if (!idValue.isString()) {
        return 0;
    }
    const QString id = idValue.toString();
    const QJsonValue isError = block.value(QLatin1String("is_error"));
    const QString status = isError.isBool() && isError.toBool() ? QStringLiteral("error") : QStringLiteral("completed");
    bool wasRunning = false;
    // The summary may have been replaced from outside, so an index is checked before it is used.
    if (const auto tool = m_toolMap.constFind(id); tool != m_toolMap.cend() && *tool < m_data.tools.size()) {
        wasRunning = m_data.tools[*tool].status == running;
        m_data.tools[*tool].status = status;
    }
    if (const auto agent = m_agentMap.constFind(id); agent != m_agentMap.cend() && *agent < m_data.agents.size()) {
        m_data.agents[*agent].status = QStringLiteral("completed");
    }
    return wasRunning ? 1 : 0;
}

std::optional<QJsonObject> TranscriptSummary::parseLine(QByteArrayView line)
{
    // Qt's parser already refuses invalid UTF-8 (surrogates included), so a damaged line costs only itself.
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromRawData(line.data(), line.size()), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

std::optional<QString> TranscriptSummary::userText(const QJsonObject& line)
{
    const QJsonValue messageValue = line.value(QLatin1String("message"));
    if (!messageValue.isObject()) {
        return std::nullopt;
    }
    const QJsonObject message = messageValue.toObject();
    if (!isString(message.value(QLatin1String("role")), QLatin1String("user"))) {
        return std::nullopt;
    }
    const QJsonValue content = message.value(QLatin1String("content"));
    if (content.isString()) {
        return content.toString().isEmpty() ? std::nullopt : std::optional(content.toString());
    }
    const auto blocks = arrayOfObjects(content);
    if (!blocks) {
        return std::nullopt;
    }
    for (const QJsonValue& value : *blocks) {
        const QJsonObject block = value.toObject();
        const QString text = block.value(QLatin1String("text")).toString();
        if (isString(block.value(QLatin1String("type")), QLatin1String("text")) && !text.isEmpty()) {
            return text;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::hooks
