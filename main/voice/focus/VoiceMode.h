#pragma once

#include <variant>

#include "main/voice/focus/FocusTarget.h"
#include "main/voice/focus/ModeBReason.h"

namespace murmeli::voice {

/// Mode A: the text is pasted into the target.
struct ModeA final {
    FocusTarget target;

    friend bool operator==(const ModeA&, const ModeA&) = default;
};

/// Mode B: the text stays on the clipboard, for the reason given.
struct ModeB final {
    ModeBReason reason = ModeBReason::DetectionFailed;

    friend bool operator==(const ModeB&, const ModeB&) = default;
};

/// Where one take's text goes, decided once when the take starts.
using VoiceMode = std::variant<ModeA, ModeB>;

} // namespace murmeli::voice
