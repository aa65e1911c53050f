#pragma once

#include <optional>

#include <QFlags>
#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// Modifier keys a chord holds. Caps Lock and Num Lock are never part of one: a grab works whatever their state.
enum class KeyModifier : quint8 {
    Shift = 0x1,
    Ctrl = 0x2,
    Alt = 0x4,
    Super = 0x8,
};
Q_DECLARE_FLAGS(KeyModifiers, KeyModifier)
Q_DECLARE_OPERATORS_FOR_FLAGS(KeyModifiers)

/// Key symbols by their X numbers, which Qt's xcb platform and every X keymap use.
namespace keysym {
inline constexpr quint32 Escape = 0xff1b;
inline constexpr quint32 Insert = 0xff63;
inline constexpr quint32 F13 = 0xffca;
inline constexpr quint32 V = 0x0076; // the lower-case letter: the symbol an unshifted key press produces
/// What the evdev keymap calls the key a keyboard's F13 sends.
inline constexpr quint32 XF86Tools = 0x1008ff81;
} // namespace keysym

/// The raw code of a keyboard's F13 key under the evdev keymap (kernel code 183 plus X's offset of 8).
inline constexpr quint32 f13Keycode = 191;

/// A key with the modifiers held with it.
struct KeyChord final {
    /// The key's symbol (keysym); a grab takes every key the current keymap gives this symbol.
    quint32 keysym = 0;
    /// A raw key taken as well, whatever the keymap calls it: keys whose symbol differs between keymaps.
    std::optional<quint32> keycode {};
    KeyModifiers modifiers;
    /// Another symbol whose keys a grab takes as well: the name other keymaps give the same key.
    std::optional<quint32> alternateKeysym {};

    /// F13, by symbol, by the symbol the evdev keymap gives it instead, and by the raw key a keyboard sends for it.
    static KeyChord f13() { return { keysym::F13, f13Keycode, {}, keysym::XF86Tools }; }

    friend bool operator==(const KeyChord&, const KeyChord&) = default;
};

/// "Ctrl+Shift+0x76", "0xffca/0x1008ff81 (key 191)", for log lines.
QString describeKeyChord(const KeyChord& chord);

} // namespace murmeli::platform
