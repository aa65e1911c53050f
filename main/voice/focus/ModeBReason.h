#pragma once

#include <QString>

namespace murmeli::voice {

/// Why a take's text is left on the clipboard instead of being pasted.
enum class ModeBReason {
    NoEditableFocus, // the front window is no catalogued terminal and its focused element takes no text
    AxPermissionDenied, // keys cannot be sent on this display when the take starts
    DetectionFailed, // no front window, or its focused element cannot be read
    AxRevokedAtInject, // keys could be sent at the start but no longer at the paste
};

/// The case name, as log lines write it: "noEditableFocus", "axPermissionDenied", ...
QString toString(ModeBReason reason);

} // namespace murmeli::voice
