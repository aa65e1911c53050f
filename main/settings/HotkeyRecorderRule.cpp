#include "main/settings/HotkeyRecorderRule.h"

#include "main/settings/HotkeyKeys.h"

namespace murmeli::settings::HotkeyRecorderRule {

Decision decide(const KeyPress& press)
{
    if (press.keyCode == HotkeyKeys::escape) {
        return Decision::Stop;
    }
    // 0 is no known key, and the largest keysym (Delete) is the stored form's "unbound".
    if (press.keyCode == 0 || press.keyCode == PTTHotkey::unboundKeyCode || HotkeyKeys::isModifierKey(press.keyCode)) {
        return Decision::Ignore;
    }
    const quint64 modifiers = press.modifierFlags & HotkeyModifier::mask;
    if (modifiers == 0) {
        return Decision::Ignore;
    }
    if (modifiers == HotkeyModifier::shift && HotkeyKeys::isCharacterKey(press.keyCode)) {
        return Decision::Ignore;
    }
    return Decision::Accept;
}

} // namespace murmeli::settings::HotkeyRecorderRule
