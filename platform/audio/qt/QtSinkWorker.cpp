#include "platform/audio/qt/QtSinkWorker.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QSysInfo>

#include "platform/audio/AudioConverter.h"
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

} // namespace

QtSinkWorker::QtSinkWorker(std::shared_ptr<const std::atomic<quint64>> wanted) : m_wanted(std::move(wanted))
{
    m_progress.setInterval(progressIntervalMs);
    connect(&m_progress, &QTimer::timeout, this, &QtSinkWorker::checkProgress);
    m_linger.setSingleShot(true);
    m_linger.setInterval(lingerMs);
    connect(&m_linger, &QTimer::timeout, this, [this] {
        if (m_id == 0) {
            release();
        }
    });
}

QtSinkWorker::~QtSinkWorker()
{
    if (m_sink) {
        m_sink->stop();
    }
}

void QtSinkWorker::play(quint64 id, const AudioFormat& format, const QByteArray& pcm)
{
    if (!isWanted(id)) {
        return;
    }
    m_id = 0;
    release();
    const QString noDevice
        = QStringLiteral("no audio output device; is a sound server (PulseAudio or PipeWire) running?");
    if (!SoundServerContact::reach()) {
        fail(id, noDevice);
        return;
    }
    // Asked before Qt is: Qt's own look at its devices can wait on a server that stopped in the middle of telling it
    // about them, and would hold this thread there.
    if (!SoundServerContact::answersWithin(SoundServerContact::answerLimit)) {
        fail(id, QString::fromLatin1(SoundServerContact::silent));
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        fail(id, noDevice);
        return;
    }
    m_deviceName = device.description();
    AudioFormat playable = format;
    QByteArray samples = pcm;
    if (!device.isFormatSupported(QtAudioFormats::toQt(playable))) {
        playable = AudioFormat::take();
        samples = AudioConverter::convertWhole(format, samples);
        if (!device.isFormatSupported(QtAudioFormats::toQt(playable)) || samples.isEmpty()) {
            fail(id,
                QStringLiteral("\"%1\" plays neither %2 nor %3")
                    .arg(m_deviceName, format.describe(), playable.describe()));
            return;
        }
    }
    m_durationUs = samples.size() / playable.bytesPerFrame() * qint64(1000000) / playable.sampleRate;

    m_sink = std::make_unique<QAudioSink>(device, QtAudioFormats::toQt(playable));
    // The sink owns its source: a released sink is deleted later, and must not outlive what it reads from.
    m_source = new QBuffer(m_sink.get());
    m_source->setData(samples);
    m_source->open(QIODevice::ReadOnly);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &QtSinkWorker::onStateChanged);
    // This is where a stopped server holds the thread.
    m_sink->start(m_source);
    if (m_sink->error() != QAudio::NoError) {
        const QString error = QtAudioFormats::describe(m_sink->error());
        release();
        fail(id, QStringLiteral("\"%1\" did not start: %2").arg(m_deviceName, error));
        return;
    }
    if (!isWanted(id)) {
        release();
        return;
    }
    m_id = id;
    m_clock.start();
    m_progress.start();
    Q_EMIT started(id, m_deviceName, m_durationUs);
}

void QtSinkWorker::dropUnwanted()
{
    if (m_id != 0 && !isWanted(m_id)) {
        m_id = 0;
        release();
    }
}

void QtSinkWorker::fail(quint64 id, const QString& error)
{
    if (isWanted(id)) {
        Q_EMIT ended(id, error);
    }
}

void QtSinkWorker::onStateChanged()
{
    // Running dry at the end of the data is how a pulled sound ends; only a real error stops it early.
    if (m_id == 0 || m_sink->state() != QAudio::StoppedState || m_sink->error() == QAudio::NoError) {
        return;
    }
    const quint64 id = std::exchange(m_id, 0);
    const QString error = QtAudioFormats::describe(m_sink->error());
    release();
    fail(id, QStringLiteral("\"%1\" stopped: %2").arg(m_deviceName, error));
}

void QtSinkWorker::checkProgress()
{
    if (m_id == 0) {
        m_progress.stop();
        return;
    }
    if (!isWanted(m_id)) {
        m_id = 0;
        release();
        return;
    }
    // The server counts a sound as played once it has read it, and cannot have played it faster than real time.
    if (m_source->atEnd() && m_sink->processedUSecs() + endToleranceUs >= m_durationUs
        && m_clock.nsecsElapsed() / 1000 >= m_durationUs) {
        m_progress.stop();
        m_linger.start();
        Q_EMIT ended(std::exchange(m_id, 0), QString());
    }
}

void QtSinkWorker::release()
{
    m_progress.stop();
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
