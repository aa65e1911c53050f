#pragma once

#include <memory>
#include <optional>

#include <QList>

#include <xcb/xcb.h>

#include "platform/desktop/GlobalHotkeys.h"

namespace murmeli::platform {

class X11Connection;

/// Global keys as passive grabs on the root window. A chord grabs every key the keymap gives its symbol (and its
/// raw key), each with the chord's modifiers alone and with Caps Lock and Num Lock added, so that the lock keys
/// change nothing. The keys' events come through Qt's event filter; a keymap change grabs the chords again.
class X11GlobalHotkeys final : public GlobalHotkeys {
public:
    explicit X11GlobalHotkeys(std::shared_ptr<X11Connection> connection);
    ~X11GlobalHotkeys() override;

    HotkeyGrab grab(const KeyChord& chord) override;
    void ungrab(HotkeyId id) override;

private:
    /// One key with one modifier state, as the display grabs it.
    struct KeyGrab final {
        xcb_keycode_t keycode = 0;
        quint16 mask = 0;
        friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
    };
    struct Grab final {
        HotkeyId id = 0;
        KeyChord chord;
        QList<xcb_keycode_t> keycodes;
        quint16 mask = 0; // the chord's modifiers
        QList<KeyGrab> keyGrabs;
        bool pressed = false;
        /// The display's time of the release that ended the last press.
        std::optional<xcb_timestamp_t> releasedAt;
    };

    /// The key grabs of chord in the keymap as it is now, or why there are none.
    QString plan(Grab& grab) const;
    /// Asks the display for the key grabs no other grab of ours holds; false (having taken none) when it refused.
    bool take(const Grab& grab);
    /// Gives back the key grabs no other grab of ours holds.
    void release(const Grab& grab);
    bool heldByOthers(const KeyGrab& keyGrab, HotkeyId except) const;
    bool onEvent(const xcb_generic_event_t* event);
    bool onKeyPress(const xcb_key_press_event_t* event);
    bool onKeyRelease(const xcb_key_release_event_t* event);
    bool isKeyDown(xcb_keycode_t keycode) const;
    void grabAgain();

    std::shared_ptr<X11Connection> m_connection;
    int m_listener = 0;
    QList<Grab> m_grabs;
    HotkeyId m_nextId = 1;
    quint16 m_chordBits = 0;
};

} // namespace murmeli::platform
