#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace murmeli::platform {

/// Whether the microphone may be captured. Linux asks no permission: access stands for "a capture device exists".
struct MicrophoneAccess final {
    bool granted = false;
    /// The device that would be captured when granted; why not when refused.
    QString detail;
    /// The sound server has not answered yet, so nothing is known; ask again later.
    bool pending = false;

    friend bool operator==(const MicrophoneAccess&, const MicrophoneAccess&) = default;
};

/// Live capture of the default input of the user's sound server, delivered as take PCM (16 kHz mono signed 16-bit
/// little-endian, AudioFormat::take()). Lives on the thread that created it, which must run an event loop; every
/// signal is emitted there. Never throws.
class AudioCapture : public QObject {
    Q_OBJECT

public:
    AudioCapture() = default;
    ~AudioCapture() override = default;
    Q_DISABLE_COPY_MOVE(AudioCapture)

    /// Whether a capture device exists now, naming it, or why capture is impossible. Never waits for the sound
    /// server: pending until it has answered.
    virtual MicrophoneAccess checkAccess() const = 0;
    /// Starts capturing without waiting for the sound server; false with errorString() when it is clear at once that
    /// no capture can begin, else a device that does not open reports through failed. Starting while active changes
    /// nothing.
    virtual bool start() = 0;
    /// Stops capturing; the converter's last samples are emitted through pcmCaptured before it returns.
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    /// Why the last start or the running capture failed, or "" when nothing failed.
    virtual QString errorString() const = 0;

Q_SIGNALS:
    /// The next piece of take PCM, in capture order: every captured buffer is converted and emitted exactly once.
    void pcmCaptured(const QByteArray& pcm);
    /// The running capture ended on its own: the device failed, or no audio came within the time limit. The capture
    /// is stopped when this is emitted.
    void failed(const QString& error);
};

} // namespace murmeli::platform
