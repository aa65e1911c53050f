#include "main/voice/engine/SpeechBackends.h"

namespace murmeli::voice::SpeechBackends {

const QStringList& backendIds()
{
    static const QStringList ids { QLatin1String(onDeviceId), QLatin1String(cloudId), QLatin1String(cloudStreamingId) };
    return ids;
}

const QStringList& visibleBackendIds()
{
    static const QStringList ids { QLatin1String(onDeviceId), QLatin1String(cloudId) };
    return ids;
}

const QMap<QString, QString>& backendNames()
{
    static const QMap<QString, QString> names {
        { QLatin1String(onDeviceId), QStringLiteral("Apple STT") },
        { QLatin1String(cloudId), QStringLiteral("murmeli Cloud") },
        { QLatin1String(cloudStreamingId), QStringLiteral("murmeli Cloud (streaming)") },
    };
    return names;
}

const QSet<QString>& retiredBackendIds()
{
    static const QSet<QString> ids { QStringLiteral("aliyun"), QStringLiteral("aliyun-fun-asr"),
        QStringLiteral("aliyun-qwen3") };
    return ids;
}

const QSet<QString>& disabledBackends()
{
    static const QSet<QString> ids;
    return ids;
}

QList<BackendChoice> visibleBackendsForUI()
{
    QList<BackendChoice> choices;
    for (const QString& id : visibleBackendIds()) {
        if (const auto name = backendNames().constFind(id); name != backendNames().cend()) {
            choices.append({ id, *name });
        }
    }
    return choices;
}

const QStringList& micSourceIds()
{
    static const QStringList ids { QLatin1String(bleMicSource), QLatin1String(localMicSource) };
    return ids;
}

const QMap<QString, QString>& micSourceNames()
{
    static const QMap<QString, QString> names {
        { QLatin1String(bleMicSource), QStringLiteral("BLE Mic (ESP32)") },
        { QLatin1String(localMicSource), QStringLiteral("Local Mic (Mac)") },
    };
    return names;
}

QString effectiveBackendId(const QString& activeBackendId, bool preferStreaming)
{
    if (activeBackendId == QLatin1String(cloudId) && preferStreaming) {
        return QLatin1String(cloudStreamingId);
    }
    return activeBackendId;
}

StoredBackend resolveStoredBackend(const std::optional<QString>& storedId)
{
    const QString id = storedId.value_or(QLatin1String(cloudId));
    if (retiredBackendIds().contains(id)) {
        return { QLatin1String(cloudId), true };
    }
    if (disabledBackends().contains(id)) {
        return { QLatin1String(onDeviceId), false };
    }
    if (!backendIds().contains(id)) {
        return { QLatin1String(cloudId), false };
    }
    return { id, false };
}

QString describeBackend(const QString& effectiveId, const QString& localeIdentifier)
{
    if (effectiveId == QLatin1String(onDeviceId)) {
        return backendNames().value(effectiveId) + QStringLiteral(" (") + localeIdentifier + QLatin1Char(')');
    }
    return backendNames().value(effectiveId, effectiveId);
}

} // namespace murmeli::voice::SpeechBackends
