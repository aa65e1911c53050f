#include "platform/overlay/x11/X11WindowFrames.h"

#include <cmath>
#include <cstring>

#include <QGuiApplication>
#include <QScreen>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11WindowFrames::X11WindowFrames(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection)) { }

std::optional<QRect> X11WindowFrames::frameOf(quint64 windowId) const
{
    if (windowId == 0 || windowId > 0xffffffffu) {
        return std::nullopt;
    }
    xcb_connection_t* c = m_connection->connection();
    const auto window = static_cast<xcb_window_t>(windowId);
    const X11Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    if (!geometry) {
        return std::nullopt;
    }
    const X11Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, m_connection->root(), 0, 0), nullptr));
    if (!origin) {
        return std::nullopt;
    }
    QRect native(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    // Four 32-bit numbers: left, right, top, bottom.
    if (const auto extents = m_connection->property(window, m_connection->atom("_NET_FRAME_EXTENTS"));
        extents && extents->format == 32 && extents->value.size() == 16) {
        quint32 edge[4];
        std::memcpy(edge, extents->value.constData(), sizeof edge);
        if (edge[0] < 4096 && edge[1] < 4096 && edge[2] < 4096 && edge[3] < 4096) {
            native.adjust(-int(edge[0]), -int(edge[2]), int(edge[1]), int(edge[3]));
        }
    }
    // Qt's global coordinates are the server's divided by the scale Qt draws the screens at.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal scale = screen ? screen->devicePixelRatio() : 1;
    return QRect(qRound(native.x() / scale), qRound(native.y() / scale), qRound(native.width() / scale),
        qRound(native.height() / scale));
}

} // namespace murmeli::platform
