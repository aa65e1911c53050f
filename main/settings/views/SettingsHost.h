#pragma once

#include <functional>
#include <optional>

#include <QDateTime>
#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Log.h"
#include "main/settings/AccessibilityStatus.h"
#include "main/settings/LabStatus.h"
#include "main/settings/PTTHotkey.h"
#include "platform/secrets/KeychainStore.h"

namespace murmeli::usage {
class CodexBarUsageReader;
}
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
    /// The hotkey recorder waits for a key (true) or no longer does: meanwhile the push-to-talk keys start no take.
    virtual void setHotkeyRecording(bool recording) = 0;
    /// Whether murmeli can type into other windows here; nullopt when nothing can tell.
    virtual std::optional<InjectionSupport> injectionSupport() = 0;
    /// The speech-synthesis engines in registration order; empty before the back end has started.
    virtual QList<SpeechVoice> speechVoices() const = 0;
    /// The chosen engine's id as stored, whether or not an engine has it.
    virtual QString activeSpeechVoiceId() const = 0;
    /// Stores the chosen engine and empties its phrase cache.
    virtual void setActiveSpeechVoiceId(const QString& id) = 0;

    // The Integrations page.

    /// murmeli's own executable: the installers are found from it and told it.
    virtual QString executablePath() const = 0;
    /// Where the hooks' shared secret is kept.
    virtual platform::KeychainStore keychain() const = 0;
    /// Claude Code's settings file, which the hooks doctor checks.
    virtual QString agentSettingsPath() const = 0;
    /// Runs Claude Code's installer through the application: nullopt when it succeeded, else what went wrong.
    virtual QCoro::Task<std::optional<QString>> installClaudeHooks() = 0;
    /// An agent's installer succeeded from the page; the hooks' secret it may have stored is insisted on from now.
    virtual void hooksInstalled() { }

    // The Lab page.

    /// What the device link reports; not running while there is none yet.
    virtual LabStatus::DeviceLink deviceLink() const = 0;
    /// Brings the device link up (made on first use once the back end runs) or takes it down.
    virtual void setDeviceLinkRunning(bool on) = 0;
    /// Whether status updates, errors and approval prompts are spoken.
    virtual bool speaksAnnouncements() const = 0;
    virtual void setSpeaksAnnouncements(bool on) = 0;
    /// The reader of the outside usage tool.
    virtual usage::CodexBarUsageReader& usageReader() = 0;
    /// Empties the panel's usage display at once.
    virtual void clearUsageDisplay() = 0;
    /// When the usage the panel shows was last updated; nullopt while it shows none.
    virtual std::optional<QDateTime> lastUsageUpdate() const = 0;
    /// Runs one command row of the usage tool once, off the main thread; onProgress gets the whole seconds left
    /// once a second, then completion(ok, message) follows once. Both arrive on the main thread.
    virtual void testUsageCommand(const QString& command, double timeoutSec,
        std::function<void(int secondsLeft)> onProgress,
        std::function<void(bool ok, const QString& message)> completion)
        = 0;
};

} // namespace murmeli::settings
