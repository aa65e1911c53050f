#include "platform/overlay/x11/X11Compositing.h"

#include <QByteArray>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11Compositing::X11Compositing(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection))
{
    // The selection is named after the number of the screen whose root the connection draws on.
    int screen = 0;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection->connection())); it.rem;
         xcb_screen_next(&it), ++screen) {
        if (it.data->root == m_connection->root()) {
            m_selection = m_connection->atom(("_NET_WM_CM_S" + QByteArray::number(screen)).constData());
            return;
        }
    }
}

bool X11Compositing::isRunning() const
{
    if (m_selection == XCB_ATOM_NONE) {
        return false;
    }
    xcb_connection_t* c = m_connection->connection();
    const X11Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace murmeli::platform
