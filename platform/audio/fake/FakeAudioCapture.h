#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QTimer>

#include "platform/audio/AudioCapture.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioFormat.h"

namespace murmeli::platform {

/// A microphone for tests that "speaks" a recording: each start plays the source from its beginning, cut into
/// captured buffers of the source's own format and converted to take PCM as the real capture does; after the source
/// it delivers silence, as a live microphone would. It plays in real time on a timer, faster, or only on demand, and
/// records what it delivered.
class FakeAudioCapture final : public AudioCapture {
    Q_OBJECT

public:
    /// A capture of the platform's tap size, playing nothing yet, in real time.
    FakeAudioCapture();
    ~FakeAudioCapture() override;

    MicrophoneAccess checkAccess() const override { return m_access; }
    bool start() override;
    void stop() override;
    bool isActive() const override { return m_active; }
    QString errorString() const override { return m_error; }

    /// Plays the WAV file from now on; false, with the reason in errorString(), when it cannot be read.
    bool loadWav(const QString& path);
    /// Plays the PCM of the format from now on; an invalid format leaves the fake playing silence.
    void setSource(const AudioFormat& format, const QByteArray& pcm);
    /// Source frames in each captured buffer; 4096 unless set.
    void setBufferFrames(int frames);
    /// Pace of the timer: 1 is real time, 10 ten times faster, 0 no timer, so that only deliver() plays.
    void setSpeed(double speed);
    /// Plays the next buffers at once whatever the pace; returns how many were played (0 when not capturing).
    int deliver(int buffers = 1);
    /// Plays what is left of the source at once.
    void deliverRest();
    /// Whether this take has played the whole source.
    bool sourceFinished() const { return m_sourceFinished; }

    /// What checkAccess() reports: granted with a device name unless set.
    void setAccess(const MicrophoneAccess& access) { m_access = access; }
    /// The next start fails with the error.
    void failNextStart(const QString& error) { m_nextStartError = error; }
    /// The running capture fails as a lost device would: it stops and emits failed(error).
    void fail(const QString& error);

    /// The take PCM emitted since the last start, in order.
    const QByteArray& delivered() const { return m_delivered; }
    int startCount() const { return m_starts; }

Q_SIGNALS:
    /// This take has played the last buffer of the source.
    void sourceEnded();

private:
    void deliverOne();
    void emitPcm(const QByteArray& pcm);
    void onTick();
    void schedule();

    MicrophoneAccess m_access;
    AudioFormat m_format = AudioFormat::take();
    QByteArray m_source;
    std::unique_ptr<AudioConverter> m_converter;
    int m_bufferFrames = 4096;
    double m_speed = 1;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_buffersPlayed = 0; // in this take, by the timer or on demand
    qsizetype m_position = 0;
    bool m_sourceFinished = false;
    bool m_active = false;
    int m_starts = 0;
    QString m_error;
    QString m_nextStartError;
    QByteArray m_delivered;
};

} // namespace murmeli::platform
