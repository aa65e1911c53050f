#pragma once

#include <memory>

#include "platform/desktop/KeyInjector.h"

namespace murmeli::platform {

class X11Connection;

/// Keys sent with the XTEST extension, which the server treats as coming from the keyboard: they reach whichever
/// window has the focus, with the keys the keymap has for the symbols at the moment of sending.
class X11KeyInjector final : public KeyInjector {
public:
    explicit X11KeyInjector(std::shared_ptr<X11Connection> connection);

    bool sendChord(const KeyChord& chord) override;
    KeyModifiers heldModifiers() const override;

private:
    std::shared_ptr<X11Connection> m_connection;
    bool m_hasXTest = false;
};

} // namespace murmeli::platform
