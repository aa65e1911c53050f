#include "platform/audio/qt/QtAudioPlayer.h"

#include <optional>
#include <utility>

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QSysInfo>

#include "platform/audio/AudioConverter.h"
#include "platform/audio/WavFile.h"
#include "platform/audio/qt/QtAudioFormats.h"
#include "platform/audio/qt/SoundServerContact.h"

namespace murmeli::platform {

namespace {

// Qt takes samples in the host's byte order; ours are little-endian.
static_assert(QSysInfo::ByteOrder == QSysInfo::LittleEndian);

constexpr int progressIntervalMs = 20;
// The server's clock may stop a hair short of the last sample; this much counts as the end.
constexpr qint64 endToleranceUs = 20000;
constexpr int lingerMs = 1000;

const QString noDevice = QStringLiteral("no audio output device; is a sound server (PulseAudio or PipeWire) running?");

} // namespace

QtAudioPlayer::QtAudioPlayer(std::chrono::milliseconds slack) : m_slack(slack)
{
    // Asked now, so that the answer is usually there by the first sound.
    SoundServerContact::answered();
    m_progress.setInterval(progressIntervalMs);
    connect(&m_progress, &QTimer::timeout, this, &QtAudioPlayer::checkProgress);
    m_linger.setSingleShot(true);
    m_linger.setInterval(lingerMs);
    connect(&m_linger, &QTimer::timeout, this, [this] {
        if (!m_playing) {
            releaseSink();
        }
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_waiting) {
            end(QStringLiteral("the sound server did not answer within %1 ms; is PulseAudio or PipeWire running?")
                    .arg(m_slack.count()));
            return;
        }
        end(QStringLiteral("\"%1\" did not play a sound of %2 ms within %3 ms more; is the sound server (PulseAudio or "
                           "PipeWire) running?")
                .arg(m_deviceName)
                .arg(m_durationUs / 1000)
                .arg(m_slack.count()));
    });
}

QtAudioPlayer::~QtAudioPlayer()
{
    if (m_sink) {
        m_sink->stop();
    }
}

bool QtAudioPlayer::isAvailable() const
{
    return SoundServerContact::answered() && !QMediaDevices::defaultAudioOutput().isNull();
}

bool QtAudioPlayer::play(const AudioFormat& format, const QByteArray& pcm)
{
    stop();
    m_error.clear();
    if (!format.isValid() || pcm.size() < format.bytesPerFrame()) {
        return refuse(QStringLiteral("nothing to play in %1 bytes of %2").arg(pcm.size()).arg(format.describe()));
    }
    Sound sound { format, pcm.left(pcm.size() - pcm.size() % format.bytesPerFrame()) };
    if (SoundServerContact::answered()) {
        return start(sound);
    }
    // Until the server answers Qt's devices would hold up this thread; the sound waits for it, within the slack.
    m_waiting = std::move(sound);
    m_playing = true;
    m_progress.start();
    m_deadline.start(m_slack);
    return true;
}

bool QtAudioPlayer::playFile(const QString& path)
{
    QString error;
    const std::optional<WavAudio> audio = WavFile::read(path, &error);
    if (!audio) {
        stop();
        return refuse(QStringLiteral("%1: %2").arg(path, error));
    }
    return play(audio->format, audio->pcm);
}

void QtAudioPlayer::stop()
{
    m_playing = false;
    m_waiting.reset();
    m_progress.stop();
    m_deadline.stop();
    releaseSink();
}

bool QtAudioPlayer::start(const Sound& sound)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        return refuse(noDevice);
    }
    m_deviceName = device.description();
    AudioFormat playable = sound.format;
    QByteArray samples = sound.pcm;
    if (!device.isFormatSupported(QtAudioFormats::toQt(playable))) {
        playable = AudioFormat::take();
        samples = AudioConverter::convertWhole(sound.format, samples);
        if (!device.isFormatSupported(QtAudioFormats::toQt(playable)) || samples.isEmpty()) {
            return refuse(QStringLiteral("\"%1\" plays neither %2 nor %3")
                              .arg(m_deviceName, sound.format.describe(), playable.describe()));
        }
    }
    m_durationUs = samples.size() / playable.bytesPerFrame() * qint64(1000000) / playable.sampleRate;

    m_sink = std::make_unique<QAudioSink>(device, QtAudioFormats::toQt(playable));
    // The sink owns its source: a released sink is deleted later, and must not outlive what it reads from.
    m_source = new QBuffer(m_sink.get());
    m_source->setData(samples);
    m_source->open(QIODevice::ReadOnly);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &QtAudioPlayer::onStateChanged);
    m_sink->start(m_source);
    if (m_sink->error() != QAudio::NoError) {
        const QString error = QtAudioFormats::describe(m_sink->error());
        releaseSink();
        return refuse(QStringLiteral("\"%1\" did not start: %2").arg(m_deviceName, error));
    }
    m_playing = true;
    m_clock.start();
    m_progress.start();
    m_deadline.start(std::chrono::milliseconds(m_durationUs / 1000) + m_slack);
    return true;
}

bool QtAudioPlayer::refuse(const QString& error)
{
    m_error = error;
    return false;
}

void QtAudioPlayer::onStateChanged()
{
    // Running dry at the end of the data is how a pulled sound ends; only a real error stops it early.
    if (!m_playing || m_sink->state() != QAudio::StoppedState || m_sink->error() == QAudio::NoError) {
        return;
    }
    end(QStringLiteral("\"%1\" stopped: %2").arg(m_deviceName, QtAudioFormats::describe(m_sink->error())));
}

void QtAudioPlayer::checkProgress()
{
    if (!m_playing) {
        return;
    }
    if (m_waiting) {
        if (SoundServerContact::answered() && !start(*std::exchange(m_waiting, std::nullopt))) {
            end(m_error);
        }
        return;
    }
    // The server counts a sound as played once it has read it, and cannot have played it faster than real time.
    if (m_source->atEnd() && m_sink->processedUSecs() + endToleranceUs >= m_durationUs
        && m_clock.nsecsElapsed() / 1000 >= m_durationUs) {
        end(QString());
    }
}

void QtAudioPlayer::end(const QString& error)
{
    if (!m_playing) {
        return;
    }
    m_playing = false;
    m_waiting.reset();
    m_progress.stop();
    m_deadline.stop();
    if (error.isEmpty()) {
        m_linger.start();
        Q_EMIT finished();
        return;
    }
    releaseSink();
    m_error = error;
    Q_EMIT failed(error);
}

void QtAudioPlayer::releaseSink()
{
    m_linger.stop();
    if (!m_sink) {
        return;
    }
    disconnect(m_sink.get(), nullptr, this, nullptr);
    m_sink->stop();
    // This may run inside one of the sink's own signals, so it goes on the next turn of the event loop, taking its
    // source with it.
    m_sink.release()->deleteLater();
    m_source = nullptr;
}

} // namespace murmeli::platform
