#include "platform/audio/qt/QtSourceWorker.h"

#include <optional>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QMediaDevices>

#include "platform/audio/qt/CaptureSink.h"
#include "platform/audio/qt/QtAudioFormats.h"
#include "platform/audio/qt/SoundServerContact.h"

namespace murmeli::platform {

QtSourceWorker::QtSourceWorker() = default;

QtSourceWorker::~QtSourceWorker()
{
    close();
}

void QtSourceWorker::open(quint64 session, int bufferFrames)
{
    close();
    if (!SoundServerContact::reach()) {
        Q_EMIT failed(session, QString::fromLatin1(noInputDevice));
        return;
    }
    // Asked before Qt is: Qt's own look at its devices can wait on a server that stopped in the middle of telling it
    // about them, and would hold this thread there.
    if (!SoundServerContact::answersWithin(SoundServerContact::answerLimit)) {
        Q_EMIT failed(session, QString::fromLatin1(SoundServerContact::silent));
        return;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        Q_EMIT failed(session, QString::fromLatin1(noInputDevice));
        return;
    }
    m_deviceName = device.description();
    const QAudioFormat native = device.preferredFormat();
    const std::optional<SampleType> type = QtAudioFormats::sampleTypeOf(native.sampleFormat());
    if (!type) {
        Q_EMIT failed(
            session, QStringLiteral("\"%1\" offers no usable format (unknown sample format)").arg(m_deviceName));
        return;
    }
    m_session = session;
    Q_EMIT opened(session, m_deviceName, AudioFormat { native.sampleRate(), native.channelCount(), *type });
    m_sink = std::make_unique<CaptureSink>();
    m_sink->onWrite = [this](QByteArrayView written) { Q_EMIT captured(m_session, written.toByteArray()); };
    m_sink->open(QIODevice::WriteOnly);
    m_source = std::make_unique<QAudioSource>(device, native);
    m_source->setBufferSize(bufferFrames * native.bytesPerFrame());
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState) {
            onStopped();
        }
    });
    // This is where a stopped server holds the thread.
    m_source->start(m_sink.get());
    if (m_source->error() != QAudio::NoError) {
        const QString error = QtAudioFormats::describe(m_source->error());
        close();
        Q_EMIT failed(session, QStringLiteral("\"%1\" did not start: %2").arg(m_deviceName, error));
    }
}

void QtSourceWorker::close()
{
    m_session = 0;
    if (!m_source) {
        return;
    }
    disconnect(m_source.get(), nullptr, this, nullptr);
    m_source->stop();
    m_sink->onWrite = nullptr;
    m_sink->close();
    // This may run inside one of the source's own signals, so it goes on the next turn of this thread's loop, and the
    // device it writes into goes with it.
    m_sink.release()->setParent(m_source.get());
    m_source.release()->deleteLater();
}

void QtSourceWorker::onStopped()
{
    if (m_source && m_source->error() != QAudio::NoError) {
        const QString error = QtAudioFormats::describe(m_source->error());
        const quint64 failedSession = m_session;
        close();
        Q_EMIT failed(failedSession, QStringLiteral("\"%1\" stopped: %2").arg(m_deviceName, error));
    }
}

} // namespace murmeli::platform
