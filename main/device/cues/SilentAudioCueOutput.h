#pragma once

#include "main/device/cues/AudioCueOutput.h"

namespace murmeli::device {

/// The cue output before the panel is set up: it plays, speaks and logs nothing.
class SilentAudioCueOutput final : public AudioCueOutput {
public:
    SilentAudioCueOutput() = default;

    void play(AudioCue) override { }
};

} // namespace murmeli::device
