#pragma once

#include <optional>

#include <QString>
#include <Qt>

#include "main/settings/PTTHotkey.h"

/// The keys of a custom hotkey as the X server names them: a hotkey's key code is the key's keysym, which the
/// global key grab looks up in the keymap. Only keysyms of 16 bits fit the stored form.
namespace murmeli::settings::HotkeyKeys {

inline constexpr quint16 escape = 0xff1b;
inline constexpr quint16 returnKey = 0xff0d;
inline constexpr quint16 tab = 0xff09;
inline constexpr quint16 backspace = 0xff08;
inline constexpr quint16 space = 0x20;
inline constexpr quint16 f1 = 0xffbe;
inline constexpr quint16 f13 = 0xffca;

/// The key press of a Qt key event: the modifiers in the stored encoding, the keysym (the event's own when the
/// platform gave one, else the one the Qt key stands for; 0 when neither is known or it needs more than 16 bits)
/// and the key's text without modifiers (for keys that type a Latin-1 character).
KeyPress fromQt(int qtKey, Qt::KeyboardModifiers modifiers, quint32 nativeKeysym = 0);

/// The stored modifier bits of Qt's modifiers: Ctrl, Alt (option bit), Shift, Meta/Super (command bit).
quint64 modifierBits(Qt::KeyboardModifiers modifiers);

/// Whether the key types a character (letters, digits, punctuation, space): with Shift alone it would turn every
/// capital letter typed into a take.
bool isCharacterKey(quint16 keysym);
/// Whether the key is itself a modifier (Shift, Control, Alt, Super, Caps Lock, ...): X reports its press.
bool isModifierKey(quint16 keysym);
/// The name shown for a key that types nothing; absent for keys without one.
std::optional<QString> keyName(quint16 keysym);

} // namespace murmeli::settings::HotkeyKeys
