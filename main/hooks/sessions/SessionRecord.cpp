#include "main/hooks/sessions/SessionRecord.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace murmeli::hooks {

QByteArray SessionRecord::toJson() const
{
    QJsonObject object { { QStringLiteral("session_id"), sessionId }, { QStringLiteral("adapter"), adapter },
        { QStringLiteral("workspace"),
            QJsonObject { { QStringLiteral("current_dir"), folders.current },
                { QStringLiteral("project_dir"), folders.project } } } };
    if (lastEvent) {
        object.insert(QStringLiteral("ts"), lastEvent->toSecsSinceEpoch());
    }
    if (agent) {
        // As the hook scripts name it.
        object.insert(QStringLiteral("agent_process"), QStringLiteral("%1 %2").arg(agent->pid).arg(agent->startTicks));
    }
    if (hooksProcess) {
        object.insert(QStringLiteral("hooks_process"),
            QStringLiteral("%1 %2").arg(hooksProcess->pid).arg(hooksProcess->startTicks));
    }
    if (!windows.empty()) {
        QJsonArray seen;
        for (const AgentProcessId& window : windows) {
            seen.append(QStringLiteral("%1 %2").arg(window.pid).arg(window.startTicks));
        }
        object.insert(QStringLiteral("windows_seen"), seen);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<SessionRecord> SessionRecord::fromJson(const QJsonObject& object)
{
    const QJsonValue id = object.value(QLatin1String("session_id"));
    if (!id.isString() || id.toString().isEmpty()) {
        return std::nullopt;
    }
    const QJsonObject workspace = object.value(QLatin1String("workspace")).toObject();
    SessionRecord record;
    record.sessionId = id.toString();
    record.adapter = object.value(QLatin1String("adapter")).toString();
    record.folders.current = workspace.value(QLatin1String("current_dir")).toString();
    record.folders.project = workspace.value(QLatin1String("project_dir")).toString();
    const QJsonValue ts = object.value(QLatin1String("ts"));
    if (const QDateTime time = QDateTime::fromSecsSinceEpoch(ts.toInteger(-1), Qt::UTC);
        ts.isDouble() && time.isValid()) {
        record.lastEvent = time;
    }
    record.agent = AgentProcessId::parse(object.value(QLatin1String("agent_process")).toString());
    record.hooksProcess = AgentProcessId::parse(object.value(QLatin1String("hooks_process")).toString());
    for (const QJsonValue& window : object.value(QLatin1String("windows_seen")).toArray()) {
        if (const auto seen = AgentProcessId::parse(window.toString())) {
            record.windows.push_back(*seen);
        }
    }
    return record;
}

} // namespace murmeli::hooks
