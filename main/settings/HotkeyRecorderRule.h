#pragma once

#include "main/settings/PTTHotkey.h"

/// What the hotkey recorder does with a key press while it records.
namespace murmeli::settings::HotkeyRecorderRule {

enum class Decision {
    /// Escape: recording ends, the hotkey stays as it was.
    Stop,
    /// Not a hotkey: recording goes on.
    Ignore,
    /// The press becomes the hotkey and recording ends.
    Accept,
};

/// Escape stops whatever is held. A modifier key on its own, a press without Ctrl, Alt, Shift or Super, Shift alone
/// on a key that types a character, and a key whose keysym cannot be stored are ignored. Anything else is accepted.
Decision decide(const KeyPress& press);

} // namespace murmeli::settings::HotkeyRecorderRule
