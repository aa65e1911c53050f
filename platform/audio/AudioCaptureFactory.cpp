#include "platform/audio/AudioCaptureFactory.h"

#ifdef MURMELI_HAVE_QT_MULTIMEDIA
#include "platform/audio/qt/QtAudioCapture.h"
#else
#include "platform/audio/unavailable/UnavailableAudioCapture.h"
#endif

namespace murmeli::platform {

std::unique_ptr<AudioCapture> makeAudioCapture()
{
#ifdef MURMELI_HAVE_QT_MULTIMEDIA
    return std::make_unique<QtAudioCapture>();
#else
    return std::make_unique<UnavailableAudioCapture>();
#endif
}

} // namespace murmeli::platform
