#include "platform/desktop/x11/X11GlobalHotkeys.h"

#include <algorithm>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Keymap.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11GlobalHotkeys::X11GlobalHotkeys(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection))
{
    m_listener = m_connection->addListener([this](const xcb_generic_event_t* event) { return onEvent(event); });
    m_chordBits = X11Keymap(m_connection->connection()).masks().chordBits();
}

X11GlobalHotkeys::~X11GlobalHotkeys()
{
    m_connection->removeListener(m_listener);
    while (!m_grabs.isEmpty()) {
        ungrab(m_grabs.first().id);
    }
    xcb_flush(m_connection->connection());
}

HotkeyGrab X11GlobalHotkeys::grab(const KeyChord& chord)
{
    Grab grab;
    grab.id = m_nextId;
    grab.chord = chord;
    if (const QString error = plan(grab); !error.isEmpty()) {
        return { std::nullopt, error };
    }
    if (!take(grab)) {
        return { std::nullopt, QStringLiteral("%1 is held by another program").arg(describeKeyChord(chord)) };
    }
    ++m_nextId;
    m_grabs.append(grab);
    return { grab.id, {} };
}

void X11GlobalHotkeys::ungrab(HotkeyId id)
{
    const auto it = std::find_if(m_grabs.begin(), m_grabs.end(), [id](const Grab& g) { return g.id == id; });
    if (it == m_grabs.end()) {
        return;
    }
    const Grab grab = *it;
    m_grabs.erase(it);
    release(grab);
    xcb_flush(m_connection->connection());
}

QString X11GlobalHotkeys::plan(Grab& grab) const
{
    const X11Keymap keymap(m_connection->connection());
    grab.keycodes = keymap.keycodesOf(grab.chord.keysym);
    if (grab.chord.alternateKeysym) {
        for (const xcb_keycode_t keycode : keymap.keycodesOf(*grab.chord.alternateKeysym)) {
            if (!grab.keycodes.contains(keycode)) {
                grab.keycodes.append(keycode);
            }
        }
    }
    if (grab.chord.keycode && *grab.chord.keycode <= 255
        && !grab.keycodes.contains(xcb_keycode_t(*grab.chord.keycode))) {
        grab.keycodes.append(xcb_keycode_t(*grab.chord.keycode));
    }
    if (grab.keycodes.isEmpty()) {
        return QStringLiteral("no key of the keyboard gives %1").arg(describeKeyChord(grab.chord));
    }
    const X11ModifierMasks& masks = keymap.masks();
    grab.mask = masks.maskOf(grab.chord.modifiers);
    const quint16 locks[] = { 0, masks.capsLock, masks.numLock, quint16(masks.capsLock | masks.numLock) };
    grab.keyGrabs.clear();
    for (const xcb_keycode_t keycode : std::as_const(grab.keycodes)) {
        for (const quint16 lock : locks) {
            const KeyGrab keyGrab { keycode, quint16(grab.mask | lock) };
            if (!grab.keyGrabs.contains(keyGrab)) {
                grab.keyGrabs.append(keyGrab);
            }
        }
    }
    return {};
}

bool X11GlobalHotkeys::take(const Grab& grab)
{
    xcb_connection_t* c = m_connection->connection();
    QList<KeyGrab> taken;
    bool refused = false;
    for (const KeyGrab& keyGrab : grab.keyGrabs) {
        if (heldByOthers(keyGrab, grab.id)) {
            continue;
        }
        // Not owner_events: the keys come to the root window even when one of our own windows has the focus, so
        // Qt never takes them for typing.
        const xcb_void_cookie_t cookie = xcb_grab_key_checked(
            c, 0, m_connection->root(), keyGrab.mask, keyGrab.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (const X11Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie)); error) {
            refused = true;
            break;
        }
        taken.append(keyGrab);
    }
    if (refused) {
        for (const KeyGrab& keyGrab : std::as_const(taken)) {
            xcb_ungrab_key(c, keyGrab.keycode, m_connection->root(), keyGrab.mask);
        }
        xcb_flush(c);
    }
    return !refused;
}

void X11GlobalHotkeys::release(const Grab& grab)
{
    for (const KeyGrab& keyGrab : grab.keyGrabs) {
        if (!heldByOthers(keyGrab, grab.id)) {
            xcb_ungrab_key(m_connection->connection(), keyGrab.keycode, m_connection->root(), keyGrab.mask);
        }
    }
}

bool X11GlobalHotkeys::heldByOthers(const KeyGrab& keyGrab, HotkeyId except) const
{
    return std::any_of(m_grabs.cbegin(), m_grabs.cend(),
        [&](const Grab& g) { return g.id != except && g.keyGrabs.contains(keyGrab); });
}

bool X11GlobalHotkeys::onEvent(const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS:
        return onKeyPress(reinterpret_cast<const xcb_key_press_event_t*>(event));
    case XCB_KEY_RELEASE:
        return onKeyRelease(reinterpret_cast<const xcb_key_release_event_t*>(event));
    case XCB_MAPPING_NOTIFY:
        // Qt reloads its own keymap from the same event, so it goes on to Qt.
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER) {
            grabAgain();
        }
        return false;
    default:
        return false;
    }
}

bool X11GlobalHotkeys::onKeyPress(const xcb_key_press_event_t* event)
{
    if (event->event != m_connection->root()) {
        return false;
    }
    const quint16 chordState = event->state & m_chordBits;
    const auto it = std::find_if(m_grabs.begin(), m_grabs.end(),
        [&](const Grab& g) { return g.mask == chordState && g.keycodes.contains(event->detail); });
    if (it == m_grabs.end()) {
        return false;
    }
    // A held key repeats as further presses (or as release and press pairs, see onKeyRelease): one press counts.
    if (it->pressed) {
        return true;
    }
    // An auto-repeat's release and press carry one time. Read late, after the key went up, the release ended the
    // press (see onKeyRelease); its press is no new one.
    if (it->releasedAt == event->time) {
        return true;
    }
    it->pressed = true;
    if (onPressed) {
        onPressed(it->id);
    }
    return true;
}

bool X11GlobalHotkeys::onKeyRelease(const xcb_key_release_event_t* event)
{
    if (event->event != m_connection->root()) {
        return false;
    }
    // The modifiers may have come up before the key, so a release is matched by its key alone.
    const auto it = std::find_if(
        m_grabs.begin(), m_grabs.end(), [&](const Grab& g) { return g.pressed && g.keycodes.contains(event->detail); });
    if (it == m_grabs.end()) {
        // A later auto-repeat of a key whose press has ended already: its press comes with this time too.
        for (Grab& grab : m_grabs) {
            if (grab.keycodes.contains(event->detail)) {
                grab.releasedAt = event->time;
            }
        }
        return false;
    }
    // Auto-repeat sends a release and a press while the key stays down; only a key that is really up ends the press.
    if (isKeyDown(event->detail)) {
        return true;
    }
    it->pressed = false;
    it->releasedAt = event->time;
    if (onReleased) {
        onReleased(it->id);
    }
    return true;
}

bool X11GlobalHotkeys::isKeyDown(xcb_keycode_t keycode) const
{
    xcb_connection_t* c = m_connection->connection();
    const X11Reply<xcb_query_keymap_reply_t> reply(xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    return reply && (reply->keys[keycode / 8] & (1u << (keycode % 8))) != 0;
}

void X11GlobalHotkeys::grabAgain()
{
    m_chordBits = X11Keymap(m_connection->connection()).masks().chordBits();
    const QList<Grab> before = m_grabs;
    for (const Grab& grab : before) {
        ungrab(grab.id);
    }
    for (Grab grab : before) {
        grab.pressed = false;
        const QString error = plan(grab);
        if (!error.isEmpty() || !take(grab)) {
            // The id stays valid so that its owner can still give it back; the chord just does nothing now.
            qWarning("global keys: %s is lost with the new keymap: %s", qPrintable(describeKeyChord(grab.chord)),
                qPrintable(error.isEmpty() ? QStringLiteral("held by another program") : error));
            grab.keyGrabs.clear();
        }
        m_grabs.append(grab);
    }
    xcb_flush(m_connection->connection());
}

} // namespace murmeli::platform
