#include "platform/audio/AudioCaptureFactory.h"

#include "platform/audio/unavailable/UnavailableAudioCapture.h"

namespace murmeli::platform {

std::unique_ptr<AudioCapture> makeAudioCapture()
{
    return std::make_unique<UnavailableAudioCapture>();
}

} // namespace murmeli::platform
