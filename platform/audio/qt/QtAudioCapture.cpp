#include "platform/audio/qt/QtAudioCapture.h"

#include <optional>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>
#include <QSysInfo>

#include "platform/audio/qt/QtAudioFormats.h"
#include "platform/audio/qt/SoundServerContact.h"

namespace murmeli::platform {

using QtAudioFormats::describe;
using QtAudioFormats::sampleTypeOf;

namespace {

// Qt hands samples over in the host's byte order; the converter reads little-endian.
static_assert(QSysInfo::ByteOrder == QSysInfo::LittleEndian);

// Frames of one captured buffer, the size a tap on the input asks for.
constexpr int bufferFrames = 4096;

const QString noDevice = QStringLiteral("no audio input device; is a sound server (PulseAudio or PipeWire) running?");

} // namespace

QtAudioCapture::QtAudioCapture(std::chrono::milliseconds noAudioLimit) : m_noAudioLimit(noAudioLimit)
{
    m_sink.onWrite = [this](QByteArrayView captured) { onCaptured(captured); };
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("no audio from \"%1\" for %2 ms; is the sound server (PulseAudio or PipeWire) running?")
                   .arg(m_deviceName)
                   .arg(m_noAudioLimit.count()));
    });
}

QtAudioCapture::~QtAudioCapture()
{
    if (m_source) {
        m_source->stop();
    }
}

MicrophoneAccess QtAudioCapture::checkAccess() const
{
    // Asked from the main thread (onboarding), where the first contact with a silent server would hang for 30 s.
    if (!SoundServerContact::answered()) {
        return { false, QStringLiteral("waiting for the sound server to answer"), true };
    }
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        return { false, noDevice };
    }
    return { true, device.description() };
}

bool QtAudioCapture::start()
{
    if (m_source) {
        return true;
    }
    m_error.clear();
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        m_error = noDevice;
        return false;
    }
    m_deviceName = device.description();
    const QAudioFormat native = device.preferredFormat();
    const std::optional<SampleType> type = sampleTypeOf(native.sampleFormat());
    auto converter = std::make_unique<AudioConverter>(
        AudioFormat { native.sampleRate(), native.channelCount(), type.value_or(SampleType::Int16) });
    if (!type || !converter->isValid()) {
        m_error = QStringLiteral("\"%1\" offers no usable format (%2)")
                      .arg(m_deviceName, type ? converter->errorString() : QStringLiteral("unknown sample format"));
        return false;
    }
    m_converter = std::move(converter);

    m_source = std::make_unique<QAudioSource>(device, native);
    m_source->setBufferSize(bufferFrames * native.bytesPerFrame());
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState) {
            onSourceStopped();
        }
    });
    m_sink.open(QIODevice::WriteOnly);
    m_source->start(&m_sink);
    if (m_source->error() != QAudio::NoError) {
        m_error = QStringLiteral("\"%1\" did not start: %2").arg(m_deviceName, describe(m_source->error()));
        releaseSource();
        return false;
    }
    m_watchdog.start(m_noAudioLimit);
    return true;
}

void QtAudioCapture::stop()
{
    if (!m_source) {
        return;
    }
    releaseSource();
    const QByteArray tail = m_converter->flush();
    if (!tail.isEmpty()) {
        Q_EMIT pcmCaptured(tail);
    }
}

void QtAudioCapture::onCaptured(QByteArrayView captured)
{
    if (!m_source) {
        return;
    }
    m_watchdog.start(m_noAudioLimit);
    const QByteArray pcm = m_converter->convert(captured);
    if (!pcm.isEmpty()) {
        Q_EMIT pcmCaptured(pcm);
    }
}

void QtAudioCapture::onSourceStopped()
{
    if (m_source && m_source->error() != QAudio::NoError) {
        giveUp(QStringLiteral("\"%1\" stopped: %2").arg(m_deviceName, describe(m_source->error())));
    }
}

void QtAudioCapture::giveUp(const QString& error)
{
    if (!m_source) {
        return;
    }
    releaseSource();
    m_error = error;
    // What was captured before the failure is still the take's.
    const QByteArray tail = m_converter->flush();
    if (!tail.isEmpty()) {
        Q_EMIT pcmCaptured(tail);
    }
    Q_EMIT failed(error);
}

void QtAudioCapture::releaseSource()
{
    m_watchdog.stop();
    disconnect(m_source.get(), nullptr, this, nullptr);
    m_source->stop();
    m_sink.close();
    // This may run inside one of the source's own signals, so it goes on the next turn of the event loop.
    m_source.release()->deleteLater();
}

} // namespace murmeli::platform
