#pragma once

#include <memory>

#include "platform/speech/SpeechSynthesizer.h"

namespace murmeli::platform {

/// The system's speech synthesiser; it reports itself unavailable when its tool is not installed.
std::unique_ptr<SpeechSynthesizer> makeSpeechSynthesizer();

} // namespace murmeli::platform
