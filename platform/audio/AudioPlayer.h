#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/audio/AudioFormat.h"

namespace murmeli::platform {

/// Playback on the default output of the user's sound server, one sound at a time: a new sound cuts the one that
/// plays short. Lives on the thread that created it, which must run an event loop; every signal is emitted there.
/// Never throws.
class AudioPlayer : public QObject {
    Q_OBJECT

public:
    AudioPlayer() = default;
    ~AudioPlayer() override = default;
    Q_DISABLE_COPY_MOVE(AudioPlayer)

    /// Whether an output device exists now.
    virtual bool isAvailable() const = 0;
    /// Starts playing interleaved PCM of the format (take PCM is AudioFormat::take()), stopping the sound that
    /// plays; returns at once. False, with errorString(), when nothing could start: no output device, a format that
    /// cannot be played, no whole frame of samples. After true, exactly one of finished and failed follows, unless
    /// stop() or another play comes first.
    virtual bool play(const AudioFormat& format, const QByteArray& pcm) = 0;
    /// play() of a WAV file's samples; false, with errorString(), also when the file cannot be read as WAV.
    virtual bool playFile(const QString& path) = 0;
    /// Stops the sound at once; no signal follows for it.
    virtual void stop() = 0;
    /// Whether a sound started and has neither finished, failed nor been stopped.
    virtual bool isPlaying() const = 0;
    /// Why the last play could not start or the last sound failed, or "" when nothing failed.
    virtual QString errorString() const = 0;

Q_SIGNALS:
    /// The sound played to its end.
    void finished();
    /// The sound stopped before its end: the device failed, or the sound server did not play it in time (without
    /// a server a stream neither fails nor plays). The player is stopped when this is emitted.
    void failed(const QString& error);
};

} // namespace murmeli::platform
