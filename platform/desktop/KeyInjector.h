#pragma once

#include <QtGlobal>

#include "platform/desktop/KeyChord.h"

namespace murmeli::platform {

/// Types keys into whatever window has the keyboard focus, as if they came from the keyboard. Main thread only.
class KeyInjector {
public:
    KeyInjector() = default;
    virtual ~KeyInjector() = default;
    Q_DISABLE_COPY_MOVE(KeyInjector)

    /// Presses the chord's modifiers, presses and releases its key, releases the modifiers; returns once the display
    /// has taken them. False when nothing was sent: no display that takes synthesised keys, or a symbol no key of
    /// the keymap produces.
    virtual bool sendChord(const KeyChord& chord) = 0;
    /// The modifier keys the user holds down now: a chord sent while one is held arrives with it added, so a paste
    /// waits for them to come up first. None when the display cannot tell.
    virtual KeyModifiers heldModifiers() const = 0;
};

} // namespace murmeli::platform
