#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include "main/common/Log.h"
#include "platform/audio/AudioCapture.h"

namespace murmeli::voice {

/// The microphone side of a take: a fresh capture of the sound server's default input for each take, delivering
/// take PCM (16 kHz mono 16-bit) to the take's feed, each captured buffer once and in order. Main thread only.
class MicrophoneCapture final {
public:
    using Factory = std::function<std::unique_ptr<platform::AudioCapture>()>;
    using Feed = std::function<void(const QByteArray& pcm)>;

    /// factory makes one capture per take; empty means the platform's.
    explicit MicrophoneCapture(Factory factory = {});
    ~MicrophoneCapture();
    MicrophoneCapture(const MicrophoneCapture&) = delete;
    MicrophoneCapture& operator=(const MicrophoneCapture&) = delete;

    /// Whether there is a device to capture, asked of a capture made for the purpose.
    platform::MicrophoneAccess checkAccess() const;
    /// Starts capturing into feed; the reason when no capture could begin (nothing is then running).
    std::optional<QString> start(Feed feed);
    /// Stops the capture; its last samples reach the feed before this returns. Nothing happens when none runs.
    void stop();
    bool isActive() const { return m_capture != nullptr; }

    /// A capture made by the factory, its failures going to onLog, for a recorder that drives it itself.
    std::unique_ptr<platform::AudioCapture> make() const;

    /// Capture failures during a take ("Audio: ..."); the take itself goes on with what was captured.
    common::LogSink onLog;
    /// A capture made here failed before it delivered any audio: its take has nothing to go on.
    std::function<void(const QString& error)> onFailedUnheard;

private:
    Factory m_factory;
    std::unique_ptr<platform::AudioCapture> m_capture;
};

} // namespace murmeli::voice
