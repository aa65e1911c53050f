#pragma once

#include <memory>

#include "platform/audio/AudioCapture.h"

namespace murmeli::platform {

/// The capture of the user's sound server, living on the calling thread.
std::unique_ptr<AudioCapture> makeAudioCapture();

} // namespace murmeli::platform
