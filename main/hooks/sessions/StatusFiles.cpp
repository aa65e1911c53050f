#include "main/hooks/sessions/StatusFiles.h"

#include "main/hooks/install/AgentAdapter.h"
#include "main/hooks/sessions/SessionKey.h"

namespace murmeli::hooks::StatusFiles {

QLatin1String baseName(StatusFileKind kind)
{
    switch (kind) {
    case StatusFileKind::Status:
        return QLatin1String("status.json");
    case StatusFileKind::Activity:
        return QLatin1String("activity.json");
    case StatusFileKind::Notify:
        return QLatin1String("notify.json");
    case StatusFileKind::TranscriptPath:
        return QLatin1String("transcript-path.txt");
    case StatusFileKind::Session:
        return QLatin1String("session.json");
    }
    return {};
}

QString suffix(StatusFileKind kind)
{
    return QLatin1Char('-') + baseName(kind);
}

QString fileName(const SessionKey& key, StatusFileKind kind)
{
    return key.text() + suffix(kind);
}

std::optional<QString> keyTextOf(const QString& name, StatusFileKind kind)
{
    const QString tail = suffix(kind);
    if (!name.endsWith(tail)) {
        return std::nullopt;
    }
    return name.left(name.size() - tail.size());
}

QString agentSettingsPath(const QString& home, const QProcessEnvironment& environment)
{
    return AgentAdapters::claudeCode().settingsPath(home, environment);
}

} // namespace murmeli::hooks::StatusFiles
