#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QList>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include "platform/desktop/KeyChord.h"

namespace murmeli::platform {

/// Which of X's eight modifier bits each modifier key sets. Shift and Ctrl have fixed bits; Alt, Super and Num Lock
/// sit on whichever Mod bit the keymap puts their keys on.
struct X11ModifierMasks final {
    quint16 shift = XCB_MOD_MASK_SHIFT;
    quint16 ctrl = XCB_MOD_MASK_CONTROL;
    quint16 alt = XCB_MOD_MASK_1;
    quint16 super = XCB_MOD_MASK_4;
    quint16 capsLock = XCB_MOD_MASK_LOCK;
    quint16 numLock = XCB_MOD_MASK_2;

    /// The bits of modifiers.
    quint16 maskOf(KeyModifiers modifiers) const;
    /// The chord modifiers that state holds; Caps Lock, Num Lock and mouse buttons are left out.
    KeyModifiers modifiersIn(quint16 state) const;
    /// Every bit a chord can hold.
    quint16 chordBits() const { return shift | ctrl | alt | super; }

    /// The masks of a modifier mapping: rows[i] lists the keys on modifier bit i; keysymOf gives a key's symbol.
    /// A modifier whose keys are on no Mod bit keeps the usual bit.
    static X11ModifierMasks fromMapping(
        const std::array<QList<xcb_keycode_t>, 8>& rows, const std::function<quint32(xcb_keycode_t)>& keysymOf);

    friend bool operator==(const X11ModifierMasks&, const X11ModifierMasks&) = default;
};

/// The display's keymap as it is now: which keys give a symbol and where the modifiers sit.
class X11Keymap final {
public:
    explicit X11Keymap(xcb_connection_t* connection);
    ~X11Keymap();
    Q_DISABLE_COPY_MOVE(X11Keymap)

    /// Every key that gives keysym, first those that give it without Shift; empty when none does.
    QList<xcb_keycode_t> keycodesOf(quint32 keysym) const;
    /// The key a press of modifier is sent with (the left one where there are two).
    std::optional<xcb_keycode_t> keycodeOf(KeyModifier modifier) const;
    const X11ModifierMasks& masks() const { return m_masks; }

private:
    xcb_key_symbols_t* m_symbols = nullptr;
    X11ModifierMasks m_masks;
};

} // namespace murmeli::platform
