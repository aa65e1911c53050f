#include "main/app/HookEventDispatcher.h"

#include <QJsonArray>

#include "main/common/TextUtils.h"
#include "main/hooks/ApprovalSerialization.h"
#include "main/hooks/HookEventType.h"
#include "main/hooks/SessionKey.h"

namespace murmeli::app {

using common::LogColor;
using hooks::HookEventType;

namespace {

QString stringOf(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : QString();
}

// Shown in a log line, so nothing the agent sent can break the line or run on for pages.
QString printable(const QString& text)
{
    QString shown = common::text::truncateWithEllipsis(text, 40);
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char('?');
        }
    }
    return shown;
}

} // namespace

HookEventDispatcher::HookEventDispatcher(
    hooks::SessionRegistry& registry, hooks::SessionFileWriter& files, common::Clock& clock)
    : m_registry(registry), m_files(files), m_clock(clock)
{
}

void HookEventDispatcher::log(const QString& message, LogColor color)
{
    if (onLog) {
        onLog(message, color);
    }
}

bool HookEventDispatcher::dispatch(const QString& eventName, const QJsonObject& payload)
{
    const QString key = hooks::SessionKey::fromPayload(payload);
    if (key.isEmpty()) {
        return true;
    }
    if (!hooks::SessionKey::isSafe(key)) {
        log(QStringLiteral("[hook-diag] %1: session key \"%2\" refused (only letters, digits, \"-\" and \"_\"); "
                           "nothing written")
                .arg(printable(eventName), printable(key)),
            LogColor::Orange);
        return false;
    }
    const QString cwd = stringOf(payload, "cwd");
    const auto type = hooks::hookEventTypeFromString(eventName);
    const auto& sessions = m_registry.sessions();
    if (std::none_of(sessions.begin(), sessions.end(), [&](const auto& s) { return s.sid8 == key; })) {
        m_registry.addSession(key, cwd, QString());
    }
    switch (type.value_or(HookEventType::Status)) {
    case HookEventType::SessionStart:
        m_registry.addSession(key, cwd, stringOf(payload, "_murmeli_adapter"));
        break;
    case HookEventType::SessionEnd:
        m_registry.removeSession(key);
        return true;
    case HookEventType::UserPromptSubmit: {
        const QJsonValue title
            = payload.value(QLatin1String("hookSpecificOutput")).toObject().value(QLatin1String("sessionTitle"));
        if (title.isString()) {
            m_registry.setHookSessionTitle(key, title.toString());
        }
        break;
    }
    case HookEventType::Stop: {
        const QString text = stringOf(payload, "last_assistant_message").trimmed();
        if (!text.isEmpty()) {
            m_registry.setHookLastAssistant(key, text);
        }
        break;
    }
    default:
        break;
    }
    writeFiles(eventName, key, payload);
    m_registry.refreshSnapshot(key);
    return true;
}

void HookEventDispatcher::writeFiles(const QString& eventName, const QString& key, const QJsonObject& payload)
{
    const qint64 now = m_clock.now().toSecsSinceEpoch();
    const QString project = common::text::lastPathComponent(stringOf(payload, "cwd"));
    const QString transcriptPath = stringOf(payload, "transcript_path");
    if (!transcriptPath.isEmpty()) {
        m_files.writeTranscriptPath(key, transcriptPath);
    }
    const auto type = hooks::hookEventTypeFromString(eventName);
    if (!type) {
        return;
    }
    switch (*type) {
    case HookEventType::PostToolUse:
    case HookEventType::PostToolUseFailure: {
        const QString tool = stringOf(payload, "tool_name");
        const QJsonObject input = payload.value(QLatin1String("tool_input")).toObject();
        m_files.writeActivity(key, hooks::ApprovalSerialization::generatePreview(tool, input), tool, now, project);
        if (*type == HookEventType::PostToolUseFailure) {
            const QString error = stringOf(payload, "error");
            m_files.writeNotify(
                key, QStringLiteral("error"), error.isEmpty() ? tool + QStringLiteral(" failed") : error, now, project);
        }
        break;
    }
    case HookEventType::StopFailure: {
        const QString error = stringOf(payload, "error");
        m_files.writeNotify(
            key, QStringLiteral("error"), error.isEmpty() ? QStringLiteral("Turn failed") : error, now, project);
        break;
    }
    case HookEventType::Notification: {
        const QString kind = stringOf(payload, "notification_type");
        const QString message = stringOf(payload, "message");
        if (kind == QLatin1String("permission_prompt")) {
            m_files.writeNotify(key, QStringLiteral("permission"), message, now, project);
        } else if (kind == QLatin1String("idle_prompt")) {
            m_files.writeNotify(key, QStringLiteral("idle"), message, now, project);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace murmeli::app
