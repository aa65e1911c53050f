#pragma once

#include <map>

#include <QByteArray>

#include <xcb/xcb.h>

namespace murmeli::platform {

/// Atoms by name on one display connection, each asked of the display once.
class X11AtomCache final {
public:
    explicit X11AtomCache(xcb_connection_t* connection) : m_connection(connection) { }

    /// The atom of name; XCB_ATOM_NONE when the display did not answer (not kept, so it is asked again).
    xcb_atom_t atom(const char* name);

private:
    xcb_connection_t* m_connection = nullptr;
    std::map<QByteArray, xcb_atom_t> m_atoms;
};

} // namespace murmeli::platform
