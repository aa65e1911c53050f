#include "platform/overlay/x11/X11InputRegion.h"

#include <cmath>
#include <vector>

#include <QWindow>

#include <xcb/shape.h>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11InputRegion::X11InputRegion(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection))
{
    xcb_connection_t* c = m_connection->connection();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_shape_id);
    if (!extension || !extension->present) {
        return;
    }
    // The input kind came with version 1.1.
    const X11Reply<xcb_shape_query_version_reply_t> version(
        xcb_shape_query_version_reply(c, xcb_shape_query_version(c), nullptr));
    m_available = version && (version->major_version > 1 || version->minor_version >= 1);
}

bool X11InputRegion::apply(QWindow& window, const QList<QRect>& rects)
{
    if (!m_available) {
        return false;
    }
    // The server counts native pixels; a region that covers a fraction of a pixel covers the whole of it.
    const qreal scale = window.devicePixelRatio();
    std::vector<xcb_rectangle_t> native;
    native.reserve(static_cast<size_t>(rects.size()));
    for (const QRect& rect : rects) {
        if (rect.isEmpty()) {
            continue;
        }
        const qreal left = std::floor(rect.left() * scale);
        const qreal top = std::floor(rect.top() * scale);
        const qreal right = std::ceil((rect.left() + rect.width()) * scale);
        const qreal bottom = std::ceil((rect.top() + rect.height()) * scale);
        native.push_back({ qint16(qBound<qreal>(-32768, left, 32767)), qint16(qBound<qreal>(-32768, top, 32767)),
            quint16(qBound<qreal>(0, right - left, 65535)), quint16(qBound<qreal>(0, bottom - top, 65535)) });
    }
    xcb_connection_t* c = m_connection->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_void_cookie_t cookie = xcb_shape_rectangles_checked(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
        XCB_CLIP_ORDERING_UNSORTED, id, 0, 0, static_cast<quint32>(native.size()), native.data());
    const X11Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return !error;
}

} // namespace murmeli::platform
