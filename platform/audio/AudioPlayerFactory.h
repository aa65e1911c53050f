#pragma once

#include <memory>

#include "platform/audio/AudioPlayer.h"

namespace murmeli::platform {

/// The player of the user's sound server, living on the calling thread.
std::unique_ptr<AudioPlayer> makeAudioPlayer();

} // namespace murmeli::platform
