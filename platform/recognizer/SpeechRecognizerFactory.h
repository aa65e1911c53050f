#pragma once

#include <memory>

#include "platform/recognizer/SpeechRecognizer.h"

namespace murmeli::platform {

/// The recogniser of this build: pocketsphinx with its packaged models (and murmeli's dictation model and developer
/// dictionary from its speech folder where found) when both are there, else one that reports
/// itself unavailable and fails every recognition with Unavailable.
std::unique_ptr<SpeechRecognizer> makeSpeechRecognizer();

} // namespace murmeli::platform
