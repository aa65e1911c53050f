#include "platform/desktop/x11/X11AtomCache.h"

#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

xcb_atom_t X11AtomCache::atom(const char* name)
{
    const QByteArray key(name);
    if (const auto it = m_atoms.find(key); it != m_atoms.end()) {
        return it->second;
    }
    const X11Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, quint16(key.size()), key.constData()), nullptr));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    if (atom != XCB_ATOM_NONE) {
        m_atoms.emplace(key, atom);
    }
    return atom;
}

} // namespace murmeli::platform
