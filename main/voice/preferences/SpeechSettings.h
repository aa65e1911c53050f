#pragma once

#include <QString>
#include <QStringList>

#include "main/voice/engine/EnterMode.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::voice {

/// The speech engine's persisted choices: backend, microphone source, Enter mode, streaming preference and the
/// user's hotwords. Every set writes through to the user defaults at once; the first three are also kept in
/// memory, the last two are read from the store on every get. Used on the main thread.
class SpeechSettings final {
public:
    static constexpr auto backendIdKey = "speechBackendId";
    static constexpr auto micSourceKey = "micSource";
    static constexpr auto enterModeKey = "enterMode";
    static constexpr auto preferStreamingKey = "settings.voice.preferStreaming";
    static constexpr auto customHotwordsKey = "settings.voice.customHotwords";
    /// Set once a stored id of the retired cloud provider has been moved to the cloud backend.
    static constexpr auto retiredBackendMigratedKey = "settings.voice.aliyunMigrated";
    static constexpr int maxCustomHotwords = 100;
    /// The weight each custom hotword carries in a take's recognition context, above any term taken from a session.
    static constexpr int customHotwordWeight = 25;

    /// Loads the backend (migrating a retired id), then the microphone source, then the Enter mode.
    explicit SpeechSettings(platform::Defaults& defaults);
    SpeechSettings(const SpeechSettings&) = delete;
    SpeechSettings& operator=(const SpeechSettings&) = delete;

    const QString& activeBackendId() const { return m_activeBackendId; }
    /// Stored as given; an unknown id is caught the next time the settings load.
    void setActiveBackendId(const QString& id);

    /// "local" or "ble"; any stored text is kept as it is.
    const QString& activeMicSource() const { return m_activeMicSource; }
    void setActiveMicSource(const QString& source);

    EnterMode enterMode() const { return m_enterMode; }
    void setEnterMode(EnterMode mode);

    /// True unless a boolean false is stored.
    bool preferStreaming() const;
    void setPreferStreaming(bool prefer);

    /// The stored list; empty when missing or when any element is not a text.
    QStringList customHotwords() const;
    /// Stores the list normalised by normalizeHotwords.
    void setCustomHotwords(const QStringList& hotwords);

    /// Entries trimmed of white space and line breaks, empty ones and repeats dropped (canonically equivalent
    /// texts are repeats, case counts), the first maxCustomHotwords kept, in their order.
    static QStringList normalizeHotwords(const QStringList& hotwords);

private:
    platform::Defaults& m_defaults;
    QString m_activeBackendId;
    QString m_activeMicSource;
    EnterMode m_enterMode = EnterMode::Auto;
};

} // namespace murmeli::voice
