#include "platform/audio/unavailable/UnavailableAudioCapture.h"

namespace murmeli::platform {

namespace {

QString reason()
{
    return QStringLiteral("this build of murmeli has no audio capture (Qt Multimedia was missing)");
}

} // namespace

MicrophoneAccess UnavailableAudioCapture::checkAccess() const
{
    return { false, reason() };
}

bool UnavailableAudioCapture::start()
{
    m_error = reason();
    return false;
}

} // namespace murmeli::platform
