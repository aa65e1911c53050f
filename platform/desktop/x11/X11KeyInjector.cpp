#include "platform/desktop/x11/X11KeyInjector.h"

#include <QList>

#include <xcb/xtest.h>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Keymap.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11KeyInjector::X11KeyInjector(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection)), m_hasXTest(m_connection->hasExtension("XTEST"))
{
}

bool X11KeyInjector::sendChord(const KeyChord& chord)
{
    if (!m_hasXTest) {
        return false;
    }
    const X11Keymap keymap(m_connection->connection());
    const QList<xcb_keycode_t> keys = keymap.keycodesOf(chord.keysym);
    if (keys.isEmpty()) {
        return false;
    }
    QList<xcb_keycode_t> modifiers;
    for (const KeyModifier modifier : { KeyModifier::Ctrl, KeyModifier::Alt, KeyModifier::Super, KeyModifier::Shift }) {
        if (!chord.modifiers.testFlag(modifier)) {
            continue;
        }
        const std::optional<xcb_keycode_t> keycode = keymap.keycodeOf(modifier);
        if (!keycode) {
            return false;
        }
        modifiers.append(*keycode);
    }

    xcb_connection_t* c = m_connection->connection();
    const auto send = [&](quint8 type, xcb_keycode_t keycode) {
        xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    };
    for (const xcb_keycode_t keycode : std::as_const(modifiers)) {
        send(XCB_KEY_PRESS, keycode);
    }
    send(XCB_KEY_PRESS, keys.first());
    send(XCB_KEY_RELEASE, keys.first());
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it) {
        send(XCB_KEY_RELEASE, *it);
    }
    // The keys count as sent once the server has them; the focused program reads them from its own queue later.
    m_connection->sync();
    return true;
}

KeyModifiers X11KeyInjector::heldModifiers() const
{
    xcb_connection_t* c = m_connection->connection();
    const X11Reply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root()), nullptr));
    if (!reply) {
        return {};
    }
    return X11Keymap(c).masks().modifiersIn(reply->mask);
}

} // namespace murmeli::platform
