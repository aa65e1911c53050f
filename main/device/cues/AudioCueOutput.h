#pragma once

#include "main/device/cues/AudioCue.h"

namespace murmeli::device {

/// Plays the sound cues; each implementation decides how, and whether, a cue sounds.
class AudioCueOutput {
public:
    AudioCueOutput() = default;
    virtual ~AudioCueOutput() = default;
    AudioCueOutput(const AudioCueOutput&) = delete;
    AudioCueOutput& operator=(const AudioCueOutput&) = delete;

    /// Plays the cue without waiting for it; called on the main thread.
    virtual void play(AudioCue cue) = 0;
};

} // namespace murmeli::device
