#include "main/voice/preferences/SpeechSettings.h"

#include <QJsonArray>
#include <QSet>

#include "main/voice/engine/SpeechBackends.h"

namespace murmeli::voice {

namespace {

QString key(const char* name)
{
    return QLatin1String(name);
}

} // namespace

SpeechSettings::SpeechSettings(platform::Defaults& defaults) : m_defaults(defaults)
{
    const SpeechBackends::StoredBackend backend
        = SpeechBackends::resolveStoredBackend(m_defaults.stringValue(key(backendIdKey)));
    m_activeBackendId = backend.id;
    if (backend.migratedFromRetired) {
        m_defaults.setValue(key(backendIdKey), m_activeBackendId);
        m_defaults.setValue(key(retiredBackendMigratedKey), true);
    }
    m_activeMicSource
        = m_defaults.stringValue(key(micSourceKey)).value_or(QLatin1String(SpeechBackends::localMicSource));
    m_enterMode
        = enterModeFromString(m_defaults.stringValue(key(enterModeKey)).value_or(QString())).value_or(EnterMode::Auto);
}

void SpeechSettings::setActiveBackendId(const QString& id)
{
    m_activeBackendId = id;
    m_defaults.setValue(key(backendIdKey), id);
}

void SpeechSettings::setActiveMicSource(const QString& source)
{
    m_activeMicSource = source;
    m_defaults.setValue(key(micSourceKey), source);
}

void SpeechSettings::setEnterMode(EnterMode mode)
{
    m_enterMode = mode;
    m_defaults.setValue(key(enterModeKey), toString(mode));
}

bool SpeechSettings::preferStreaming() const
{
    return m_defaults.boolValue(key(preferStreamingKey)).value_or(true);
}

void SpeechSettings::setPreferStreaming(bool prefer)
{
    m_defaults.setValue(key(preferStreamingKey), prefer);
}

QStringList SpeechSettings::customHotwords() const
{
    const std::optional<QJsonArray> stored = m_defaults.arrayValue(key(customHotwordsKey));
    if (!stored) {
        return {};
    }
    QStringList hotwords;
    for (const QJsonValue& entry : *stored) {
        if (!entry.isString()) {
            return {};
        }
        hotwords.append(entry.toString());
    }
    return hotwords;
}

void SpeechSettings::setCustomHotwords(const QStringList& hotwords)
{
    m_defaults.setValue(key(customHotwordsKey), QJsonArray::fromStringList(normalizeHotwords(hotwords)));
}

QStringList SpeechSettings::normalizeHotwords(const QStringList& hotwords)
{
    QStringList kept;
    QSet<QString> seen;
    for (const QString& entry : hotwords) {
        if (kept.size() == maxCustomHotwords) {
            break;
        }
        const QString trimmed = entry.trimmed();
        // A precomposed "é" and "e" with a combining accent are the same word to the user.
        const QString canonical = trimmed.normalized(QString::NormalizationForm_C);
        if (trimmed.isEmpty() || seen.contains(canonical)) {
            continue;
        }
        seen.insert(canonical);
        kept.append(trimmed);
    }
    return kept;
}

} // namespace murmeli::voice
