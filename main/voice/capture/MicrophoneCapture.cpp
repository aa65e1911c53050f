#include "main/voice/capture/MicrophoneCapture.h"

#include <memory>
#include <utility>

#include <QObject>

#include "platform/audio/AudioCaptureFactory.h"

namespace murmeli::voice {

MicrophoneCapture::MicrophoneCapture(Factory factory)
    : m_factory(factory ? std::move(factory) : Factory([] { return platform::makeAudioCapture(); }))
{
}

MicrophoneCapture::~MicrophoneCapture()
{
    stop();
}

platform::MicrophoneAccess MicrophoneCapture::checkAccess() const
{
    const std::unique_ptr<platform::AudioCapture> probe = make();
    return probe ? probe->checkAccess() : platform::MicrophoneAccess { false, QStringLiteral("no audio capture") };
}

std::optional<QString> MicrophoneCapture::start(Feed feed)
{
    stop();
    std::unique_ptr<platform::AudioCapture> capture = make();
    if (!capture) {
        return QStringLiteral("no audio capture");
    }
    QObject::connect(capture.get(), &platform::AudioCapture::pcmCaptured, capture.get(), std::move(feed));
    if (!capture->start()) {
        return capture->errorString();
    }
    m_capture = std::move(capture);
    return std::nullopt;
}

void MicrophoneCapture::stop()
{
    if (!m_capture) {
        return;
    }
    // Stopping flushes the converter into the feed; only then is the capture let go.
    std::unique_ptr<platform::AudioCapture> capture = std::move(m_capture);
    capture->stop();
    QObject::disconnect(capture.get(), nullptr, nullptr, nullptr);
    capture.release()->deleteLater();
}

std::unique_ptr<platform::AudioCapture> MicrophoneCapture::make() const
{
    std::unique_ptr<platform::AudioCapture> capture = m_factory();
    // Every take's capture says when it fails, the batch recorder's too: a sound server that went away otherwise
    // shows only as a take that heard nothing.
    if (capture) {
        auto heard = std::make_shared<bool>(false);
        QObject::connect(
            capture.get(), &platform::AudioCapture::pcmCaptured, capture.get(), [heard] { *heard = true; });
        QObject::connect(
            capture.get(), &platform::AudioCapture::failed, capture.get(), [this, heard](const QString& error) {
                onLog(QStringLiteral("Audio: capture failed: ") + error, common::LogColor::Red);
                if (!*heard && onFailedUnheard) {
                    onFailedUnheard(error);
                }
            });
    }
    return capture;
}

} // namespace murmeli::voice
