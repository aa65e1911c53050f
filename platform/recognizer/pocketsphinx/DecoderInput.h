#pragma once

#include <variant>

#include "platform/recognizer/RecognitionTypes.h"
#include "platform/recognizer/pocketsphinx/RiffWave.h"

/// The audio of a request as the decoder takes it: one channel of 16-bit samples at 16 kHz. Reads files, so it runs
/// on the decoding thread.
namespace murmeli::platform::DecoderInput {

inline constexpr int kDecoderRate = 16000;

/// The request's file or PCM at the decoder's rate, or the UnreadableAudio error that says why not.
std::variant<MonoPcm, RecognitionError> load(const RecognitionRequest& request);

/// pcm at rate, with a real resampler's low-pass so that higher rates do not fold into the speech band.
MonoPcm resampled(const MonoPcm& pcm, int rate);

} // namespace murmeli::platform::DecoderInput
