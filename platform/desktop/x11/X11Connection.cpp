#include "platform/desktop/x11/X11Connection.h"

#include <cstring>

#include <QCoreApplication>
#include <QGuiApplication>

#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

std::shared_ptr<X11Connection> X11Connection::fromQt()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) {
        return nullptr;
    }
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) {
        return nullptr;
    }
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen) {
        return nullptr;
    }
    return std::make_shared<X11Connection>(connection, screen->root);
}

X11Connection::X11Connection(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root), m_atoms(connection)
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11Connection::~X11Connection()
{
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

xcb_atom_t X11Connection::atom(const char* name)
{
    return m_atoms.atom(name);
}

std::optional<X11Property> X11Connection::property(xcb_window_t window, xcb_atom_t property, quint32 maxBytes)
{
    const xcb_get_property_cookie_t cookie
        = xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, (maxBytes + 3) / 4);
    const X11Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const int length = xcb_get_property_value_length(reply.get());
    return X11Property { reply->type, reply->format,
        QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length) };
}

bool X11Connection::hasExtension(const char* name)
{
    const X11Reply<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(
        m_connection, xcb_query_extension(m_connection, quint16(std::strlen(name)), name), nullptr));
    return reply && reply->present;
}

void X11Connection::selectRootEvents(quint32 mask)
{
    const X11Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr));
    const quint32 current = attributes ? attributes->your_event_mask : 0;
    if ((current & mask) == mask) {
        return;
    }
    const quint32 values[] = { current | mask };
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, values);
    xcb_flush(m_connection);
}

void X11Connection::sync()
{
    const X11Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

int X11Connection::addListener(Listener listener)
{
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void X11Connection::removeListener(int id)
{
    m_listeners.erase(id);
}

bool X11Connection::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/)
{
    if (eventType != "xcb_generic_event_t" || !message) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    noteTime(event);
    // A listener may add or remove listeners while it runs, so walk a copy of the ids.
    QList<int> ids;
    for (const auto& [id, listener] : m_listeners) {
        ids.append(id);
    }
    for (const int id : ids) {
        const auto it = m_listeners.find(id);
        if (it != m_listeners.end() && it->second(event)) {
            return true;
        }
    }
    return false;
}

void X11Connection::noteTime(const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
        m_lastEventTime = reinterpret_cast<const xcb_key_press_event_t*>(event)->time;
        break;
    case XCB_PROPERTY_NOTIFY:
        m_lastEventTime = reinterpret_cast<const xcb_property_notify_event_t*>(event)->time;
        break;
    default:
        break;
    }
}

} // namespace murmeli::platform
