#include "platform/audio/qt/QtAudioCapture.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSysInfo>

#include "platform/audio/qt/QtSourceWorker.h"
#include "platform/audio/qt/SoundServerContact.h"

namespace murmeli::platform {

namespace {

// Qt hands samples over in the host's byte order; the converter reads little-endian.
static_assert(QSysInfo::ByteOrder == QSysInfo::LittleEndian);

// Frames of one captured buffer, the size a tap on the input asks for.
constexpr int bufferFrames = 4096;

const QString noDevice = QString::fromLatin1(QtSourceWorker::noInputDevice);

} // namespace

QtAudioCapture::QtAudioCapture(std::chrono::milliseconds noAudioLimit) : m_noAudioLimit(noAudioLimit)
{
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        giveUp(QStringLiteral("no audio from %1 for %2 ms; is the sound server (PulseAudio or PipeWire) running?")
                   .arg(m_deviceName)
                   .arg(m_noAudioLimit.count()));
    });
}

QtAudioCapture::~QtAudioCapture()
{
    if (!m_worker) {
        return;
    }
    // Closed and deleted on its own thread once that thread is free again; until then nothing of it reaches this
    // object.
    disconnect(m_worker, nullptr, this, nullptr);
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->close(); }, Qt::QueuedConnection);
    m_worker->deleteLater();
}

MicrophoneAccess QtAudioCapture::checkAccess() const
{
    // Asked from the main thread (onboarding), where the first contact with a silent server would hang for 30 s.
    if (!SoundServerContact::answered()) {
        if (SoundServerContact::triedOnce()) {
            return { false, noDevice };
        }
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
    if (m_session != 0) {
        return true;
    }
    m_error.clear();
    // Once the server has answered, Qt holds the devices it listed and says this without asking the server; before
    // the first try has ended, the worker finds out; a server that did not answer it has none to offer until it does.
    if (SoundServerContact::answered() ? QMediaDevices::defaultAudioInput().isNull()
                                       : SoundServerContact::triedOnce()) {
        m_error = noDevice;
        return false;
    }
    if (!m_worker) {
        m_worker = new QtSourceWorker;
        m_worker->moveToThread(SoundServerContact::thread());
        connect(m_worker, &QtSourceWorker::opened, this, &QtAudioCapture::onOpened, Qt::QueuedConnection);
        connect(m_worker, &QtSourceWorker::captured, this, &QtAudioCapture::onCaptured, Qt::QueuedConnection);
        connect(m_worker, &QtSourceWorker::failed, this, &QtAudioCapture::onWorkerFailed, Qt::QueuedConnection);
    }
    m_session = ++m_lastSession;
    m_converter.reset();
    m_deviceName = QStringLiteral("the default input");
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, session = m_session] { worker->open(session, bufferFrames); },
        Qt::QueuedConnection);
    // A server that takes the stream and never answers is found out here.
    m_watchdog.start(m_noAudioLimit);
    return true;
}

void QtAudioCapture::onOpened(quint64 session, const QString& device, const AudioFormat& format)
{
    if (session == 0 || session != m_session) {
        return;
    }
    m_deviceName = QStringLiteral("\"%1\"").arg(device);
    auto converter = std::make_unique<AudioConverter>(format);
    if (!converter->isValid()) {
        giveUp(QStringLiteral("%1 offers no usable format (%2)").arg(m_deviceName, converter->errorString()));
        return;
    }
    m_converter = std::move(converter);
}

void QtAudioCapture::stop()
{
    if (m_session == 0) {
        return;
    }
    releaseSource();
    emitTail();
}

void QtAudioCapture::onCaptured(quint64 session, const QByteArray& captured)
{
    if (session == 0 || session != m_session || !m_converter) {
        return;
    }
    m_watchdog.start(m_noAudioLimit);
    const QByteArray pcm = m_converter->convert(captured);
    if (!pcm.isEmpty()) {
        Q_EMIT pcmCaptured(pcm);
    }
}

void QtAudioCapture::onWorkerFailed(quint64 session, const QString& error)
{
    if (session != 0 && session == m_session) {
        giveUp(error);
    }
}

void QtAudioCapture::giveUp(const QString& error)
{
    if (m_session == 0) {
        return;
    }
    releaseSource();
    m_error = error;
    // What was captured before the failure is still the take's.
    emitTail();
    Q_EMIT failed(error);
}

void QtAudioCapture::emitTail()
{
    const QByteArray tail = m_converter ? m_converter->flush() : QByteArray();
    if (!tail.isEmpty()) {
        Q_EMIT pcmCaptured(tail);
    }
}

void QtAudioCapture::releaseSource()
{
    m_watchdog.stop();
    m_session = 0;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->close(); }, Qt::QueuedConnection);
}

} // namespace murmeli::platform
