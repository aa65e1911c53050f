#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

/// The modifier bits of a stored hotkey. The encoding is fixed by the stored form, whatever the desktop calls the
/// keys: Alt is stored in the option bit and Super in the command bit.
namespace HotkeyModifier {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000;
inline constexpr quint64 command = 0x100000;
/// The four bits a hotkey keeps; caps lock, num lock and the rest are dropped.
inline constexpr quint64 mask = 0x1E0000;
} // namespace HotkeyModifier

/// One key-down as the recorder sees it: the modifier bits held (other bits may be set and are dropped), the key's
/// code (the X keysym, 16 bits) and the key's text without modifiers, absent when it types none.
struct KeyPress final {
    quint64 modifierFlags = 0;
    quint16 keyCode = 0;
    std::optional<QString> characters;
};

/// The user's own push-to-talk key combination, besides the fixed keys. Unbound is an ordinary value: key code
/// 65535. Stored under one preference key as a JSON object {"modifiersRaw", "keyCode", "display"}; an unbound
/// hotkey is never stored, its absence stands for it.
struct PTTHotkey final {
    static constexpr quint16 unboundKeyCode = 65535;
    static constexpr auto udKey = "settings.shortcuts.customPTTHotkey";

    quint64 modifiersRaw = 0;
    quint16 keyCode = unboundKeyCode;
    /// What the settings page shows: the modifiers' names, then the key's.
    QString display;

    bool operator==(const PTTHotkey&) const = default;

    /// The unbound hotkey: no modifiers, key code 65535, no text.
    static PTTHotkey none() { return {}; }
    bool isBound() const { return keyCode != unboundKeyCode; }

    /// The compact JSON object.
    QByteArray toJson() const;
    /// The hotkey of a JSON object holding all three fields with their types and a key code of 16 bits; absent for
    /// anything else.
    static std::optional<PTTHotkey> fromJson(const QByteArray& json);

    /// The stored hotkey; none when it is missing, malformed or unbound. A bad stored value is left in place.
    static PTTHotkey loadFromDefaults(const platform::Defaults& defaults);
    /// Stores the hotkey; an unbound one removes the key instead.
    void saveToDefaults(platform::Defaults& defaults) const;

    /// The hotkey of a key press: its four modifier bits, its key code and the display text. Refuses nothing; which
    /// presses become a hotkey is the recorder's decision.
    static PTTHotkey from(const KeyPress& press);
    /// The modifiers' names in the order Ctrl, Alt, Shift, Super, each followed by "+", then the characters
    /// upper-cased, or the key's name when there are none (or only blank ones).
    static QString displayString(quint64 modifiers, quint16 keyCode, const std::optional<QString>& characters);
    /// The name of a key that types nothing: "Return", "Esc", "F5", arrows as arrows; "Key" and the decimal code
    /// for any other.
    static QString keyCodeFallback(quint16 keyCode);
};

} // namespace murmeli::settings
