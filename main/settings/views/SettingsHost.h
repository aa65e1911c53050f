#pragma once

#include <optional>

#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Log.h"
#include "main/settings/AccessibilityStatus.h"
#include "main/settings/PTTHotkey.h"

namespace murmeli::voice {
class SpeechEngine;
}

namespace murmeli::settings {

/// A speech-synthesis engine as the Audio page lists it.
struct SpeechVoice final {
    QString id;
    QString displayName;
    bool isAvailable = false;

    bool operator==(const SpeechVoice&) const = default;
};

/// What the settings pages reach of the running application. A window opened without one (null) shows the pages'
/// unavailable states. Main thread only.
class SettingsHost {
public:
    SettingsHost() = default;
    virtual ~SettingsHost() = default;
    SettingsHost(const SettingsHost&) = delete;
    SettingsHost& operator=(const SettingsHost&) = delete;

    /// The speech engine: backend, streaming preference, Enter mode, hotwords, proxy and token.
    virtual voice::SpeechEngine& speech() = 0;
    /// Writes a line to the activity log.
    virtual void log(const QString& message, common::LogColor color) = 0;
    /// The cloud minutes balance; -1 until the cloud has reported one.
    virtual qint64 cloudMinutesLeft() const = 0;
    /// Whether a cloud session token is stored.
    virtual bool hasStoredCloudSession() const = 0;
    /// The streaming session's state as its raw value; "" without a session.
    virtual QString streamingStateRaw() const = 0;
    /// Opens the streaming session when signed in and the cloud streams.
    virtual void openStreamingSessionIfEligible() = 0;
    /// Closes the streaming session.
    virtual void closeStreamingSession() = 0;
    /// Stores the WebSocket proxy (an empty host switches it off) and reopens the streaming session through it;
    /// returns why it was refused (then nothing changed), or nullopt.
    virtual std::optional<QString> setWebSocketProxy(const QString& host, int port) = 0;
    /// Pings the streaming endpoint through the current proxy: nullopt when it answered, else the error text.
    virtual QCoro::Task<std::optional<QString>> testWebSocketConnection() = 0;
    /// The custom hotkey was saved: the global key follows it (an unbound one removes it).
    virtual void rebindCustomPTTHotkey(const PTTHotkey& hotkey) = 0;
    /// Whether murmeli can type into other windows here; nullopt when nothing can tell.
    virtual std::optional<InjectionSupport> injectionSupport() = 0;
    /// The speech-synthesis engines in registration order; empty before the back end has started.
    virtual QList<SpeechVoice> speechVoices() const = 0;
    /// The chosen engine's id as stored, whether or not an engine has it.
    virtual QString activeSpeechVoiceId() const = 0;
    /// Stores the chosen engine and empties its phrase cache.
    virtual void setActiveSpeechVoiceId(const QString& id) = 0;
};

} // namespace murmeli::settings
