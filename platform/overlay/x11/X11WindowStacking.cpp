#include "platform/overlay/x11/X11WindowStacking.h"

#include <cmath>
#include <vector>

#include <QWindow>
#include <QtMath>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

namespace {

/// The root's child that holds window (the window itself, or the frame a window manager put it in); 0 if none.
xcb_window_t topLevelOf(xcb_connection_t* c, xcb_window_t root, xcb_window_t window)
{
    // Frames nest only a few levels deep; the bound keeps a broken tree from looping.
    for (int depth = 0; depth < 16 && window != 0; ++depth) {
        const X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) {
            return 0;
        }
        if (tree->parent == root) {
            return window;
        }
        window = tree->parent;
    }
    return 0;
}

} // namespace

X11WindowStacking::X11WindowStacking(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection)) { }

bool X11WindowStacking::raise(QWindow& window)
{
    xcb_connection_t* c = m_connection->connection();
    const xcb_window_t top = topLevelOf(c, m_connection->root(), static_cast<xcb_window_t>(window.winId()));
    if (top == 0) {
        return false;
    }
    const quint32 above = XCB_STACK_MODE_ABOVE;
    const xcb_void_cookie_t cookie = xcb_configure_window_checked(c, top, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    const X11Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return !error;
}

bool X11WindowStacking::isCovered(QWindow& window, const QRect& rect) const
{
    xcb_connection_t* c = m_connection->connection();
    const xcb_window_t root = m_connection->root();
    const xcb_window_t top = topLevelOf(c, root, static_cast<xcb_window_t>(window.winId()));
    if (top == 0 || rect.isEmpty()) {
        return false;
    }
    const X11Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!tree) {
        return false;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    int index = 0;
    while (index < count && children[index] != top) {
        ++index;
    }
    if (index == count) {
        return false;
    }
    // The rectangle on the root, in the server's pixels.
    const qreal scale = window.devicePixelRatio();
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    const QRect target(qFloor((origin.x() + rect.x()) * scale), qFloor((origin.y() + rect.y()) * scale),
        qCeil(rect.width() * scale), qCeil(rect.height() * scale));
    // Only what lies above counts, and usually nothing does: the questions are asked together, then answered.
    std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> asked;
    for (int i = index + 1; i < count; ++i) {
        asked.emplace_back(xcb_get_window_attributes(c, children[i]), xcb_get_geometry(c, children[i]));
    }
    // A window the server made itself, not a client, is the overlay in which a compositing manager draws the whole
    // screen: it holds this window's pixels, it does not hide them.
    const quint32 resourceMask = xcb_get_setup(c)->resource_id_mask;
    bool covered = false;
    for (int i = index + 1; i < count; ++i) {
        const auto& [attributesCookie, geometryCookie] = asked[static_cast<size_t>(i - index - 1)];
        const X11Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        const X11Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        if (covered || (children[i] & ~resourceMask) == 0 || !attributes || !geometry
            || attributes->map_state != XCB_MAP_STATE_VIEWABLE || attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            continue;
        }
        const int border = geometry->border_width;
        covered = QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border)
                      .intersects(target);
    }
    return covered;
}

} // namespace murmeli::platform
