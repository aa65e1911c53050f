#include "platform/desktop/x11/X11Keymap.h"

#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

namespace {

constexpr quint32 keysymShiftL = 0xffe1;
constexpr quint32 keysymControlL = 0xffe3;
constexpr quint32 keysymAltL = 0xffe9;
constexpr quint32 keysymAltR = 0xffea;
constexpr quint32 keysymMetaL = 0xffe7;
constexpr quint32 keysymSuperL = 0xffeb;
constexpr quint32 keysymSuperR = 0xffec;
constexpr quint32 keysymNumLock = 0xff7f;

} // namespace

quint16 X11ModifierMasks::maskOf(KeyModifiers modifiers) const
{
    quint16 mask = 0;
    mask |= modifiers.testFlag(KeyModifier::Shift) ? shift : 0;
    mask |= modifiers.testFlag(KeyModifier::Ctrl) ? ctrl : 0;
    mask |= modifiers.testFlag(KeyModifier::Alt) ? alt : 0;
    mask |= modifiers.testFlag(KeyModifier::Super) ? super : 0;
    return mask;
}

KeyModifiers X11ModifierMasks::modifiersIn(quint16 state) const
{
    KeyModifiers modifiers;
    modifiers.setFlag(KeyModifier::Shift, (state & shift) != 0);
    modifiers.setFlag(KeyModifier::Ctrl, (state & ctrl) != 0);
    modifiers.setFlag(KeyModifier::Alt, (state & alt) != 0);
    modifiers.setFlag(KeyModifier::Super, (state & super) != 0);
    return modifiers;
}

X11ModifierMasks X11ModifierMasks::fromMapping(
    const std::array<QList<xcb_keycode_t>, 8>& rows, const std::function<quint32(xcb_keycode_t)>& keysymOf)
{
    X11ModifierMasks masks;
    bool altFound = false;
    bool superFound = false;
    bool numLockFound = false;
    // Bits 0 to 2 are Shift, Lock and Control whatever keys sit on them; only the Mod bits move.
    for (int bit = 3; bit < 8; ++bit) {
        const quint16 mask = quint16(1u << bit);
        for (const xcb_keycode_t keycode : rows[size_t(bit)]) {
            const quint32 keysym = keysymOf(keycode);
            if (!altFound && (keysym == keysymAltL || keysym == keysymAltR || keysym == keysymMetaL)) {
                masks.alt = mask;
                altFound = true;
            } else if (!superFound && (keysym == keysymSuperL || keysym == keysymSuperR)) {
                masks.super = mask;
                superFound = true;
            } else if (!numLockFound && keysym == keysymNumLock) {
                masks.numLock = mask;
                numLockFound = true;
            }
        }
    }
    return masks;
}

X11Keymap::X11Keymap(xcb_connection_t* connection) : m_symbols(xcb_key_symbols_alloc(connection))
{
    const X11Reply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!reply || !m_symbols) {
        return;
    }
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    std::array<QList<xcb_keycode_t>, 8> rows;
    for (int bit = 0; bit < 8; ++bit) {
        for (int i = 0; i < perModifier; ++i) {
            if (const xcb_keycode_t keycode = keycodes[bit * perModifier + i]; keycode != 0) {
                rows[size_t(bit)].append(keycode);
            }
        }
    }
    m_masks = X11ModifierMasks::fromMapping(
        rows, [this](xcb_keycode_t keycode) { return quint32(xcb_key_symbols_get_keysym(m_symbols, keycode, 0)); });
}

X11Keymap::~X11Keymap()
{
    if (m_symbols) {
        xcb_key_symbols_free(m_symbols);
    }
}

QList<xcb_keycode_t> X11Keymap::keycodesOf(quint32 keysym) const
{
    QList<xcb_keycode_t> unshifted;
    QList<xcb_keycode_t> others;
    if (!m_symbols) {
        return {};
    }
    const X11Reply<xcb_keycode_t> found(xcb_key_symbols_get_keycode(m_symbols, keysym));
    for (const xcb_keycode_t* keycode = found.get(); keycode && *keycode != XCB_NO_SYMBOL; ++keycode) {
        QList<xcb_keycode_t>& list = xcb_key_symbols_get_keysym(m_symbols, *keycode, 0) == keysym ? unshifted : others;
        if (!unshifted.contains(*keycode) && !others.contains(*keycode)) {
            list.append(*keycode);
        }
    }
    return unshifted + others;
}

std::optional<xcb_keycode_t> X11Keymap::keycodeOf(KeyModifier modifier) const
{
    quint32 keysym = keysymShiftL;
    switch (modifier) {
    case KeyModifier::Shift:
        keysym = keysymShiftL;
        break;
    case KeyModifier::Ctrl:
        keysym = keysymControlL;
        break;
    case KeyModifier::Alt:
        keysym = keysymAltL;
        break;
    case KeyModifier::Super:
        keysym = keysymSuperL;
        break;
    }
    const QList<xcb_keycode_t> keycodes = keycodesOf(keysym);
    if (keycodes.isEmpty()) {
        return std::nullopt;
    }
    return keycodes.first();
}

} // namespace murmeli::platform
