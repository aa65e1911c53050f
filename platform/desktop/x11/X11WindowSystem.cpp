#include "platform/desktop/x11/X11WindowSystem.h"

#include <algorithm>
#include <cstring>

#include <QTimer>

#include <xcb/res.h>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

namespace {

// The source field of an activation request: 2 is a pager, which window managers obey rather than weigh against
// the user's last input, as they do for applications.
constexpr quint32 sourcePager = 2;

QList<xcb_window_t> windowsIn(const std::optional<X11Property>& property)
{
    QList<xcb_window_t> windows;
    if (!property || property->format != 32) {
        return windows;
    }
    const qsizetype count = property->value.size() / qsizetype(sizeof(quint32));
    for (qsizetype i = 0; i < count; ++i) {
        quint32 window = 0;
        std::memcpy(&window, property->value.constData() + i * qsizetype(sizeof(quint32)), sizeof window);
        windows.append(window);
    }
    return windows;
}

} // namespace

X11WindowSystem::X11WindowSystem(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection)), m_hasXTest(m_connection->hasExtension("XTEST")),
      m_hasXRes(m_connection->hasExtension("X-Resource"))
{
    m_connection->selectRootEvents(XCB_EVENT_MASK_PROPERTY_CHANGE);
    m_listener = m_connection->addListener([this](const xcb_generic_event_t* event) { return onEvent(event); });
}

X11WindowSystem::~X11WindowSystem()
{
    m_connection->removeListener(m_listener);
    while (!m_activations.isEmpty()) {
        finish(m_activations.first().serial, false);
    }
}

std::optional<WindowInfo> X11WindowSystem::activeWindow() const
{
    const std::optional<xcb_window_t> id = activeId();
    if (!id) {
        return std::nullopt;
    }
    return describe(*id);
}

QList<WindowInfo> X11WindowSystem::windows() const
{
    QList<WindowInfo> windows;
    for (const xcb_window_t window : clientList()) {
        windows.append(describe(window));
    }
    return windows;
}

QFuture<bool> X11WindowSystem::activate(WindowId id, std::chrono::milliseconds timeout)
{
    auto promise = std::make_shared<QPromise<bool>>();
    QFuture<bool> future = promise->future();
    promise->start();
    const auto window = xcb_window_t(id);
    if (id > 0xffffffffu || !clientList().contains(window)) {
        promise->addResult(false);
        promise->finish();
        return future;
    }
    const std::optional<xcb_window_t> active = activeId();
    if (active == window) {
        promise->addResult(true);
        promise->finish();
        return future;
    }

    const quint64 serial = m_nextSerial++;
    m_activations.append({ serial, window, promise });
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = m_connection->atom("_NET_ACTIVE_WINDOW");
    message.data.data32[0] = sourcePager;
    message.data.data32[1] = m_connection->lastEventTime();
    message.data.data32[2] = active.value_or(XCB_WINDOW_NONE);
    xcb_send_event(m_connection->connection(), 0, m_connection->root(),
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection->connection());
    QTimer::singleShot(timeout, &m_timerOwner, [this, serial] { finish(serial, false); });
    return future;
}

InjectionSupport X11WindowSystem::injectionSupport() const
{
    if (!m_hasXTest) {
        return { false, QStringLiteral("the X server lacks the XTEST extension, so no keys can be sent") };
    }
    return { true, {} };
}

std::optional<xcb_window_t> X11WindowSystem::activeId() const
{
    const QList<xcb_window_t> active
        = windowsIn(m_connection->property(m_connection->root(), m_connection->atom("_NET_ACTIVE_WINDOW"), 4));
    if (active.isEmpty() || active.first() == XCB_WINDOW_NONE) {
        return std::nullopt;
    }
    return active.first();
}

QList<xcb_window_t> X11WindowSystem::clientList() const
{
    return windowsIn(m_connection->property(m_connection->root(), m_connection->atom("_NET_CLIENT_LIST")));
}

WindowInfo X11WindowSystem::describe(xcb_window_t window) const
{
    WindowInfo info;
    info.id = window;
    if (const std::optional<X11Property> wmClass = m_connection->property(window, XCB_ATOM_WM_CLASS, 1024)) {
        // Two strings, each ended by a NUL: the instance, then the class.
        const QList<QByteArray> parts = wmClass->value.split('\0');
        info.classInstance = QString::fromLocal8Bit(parts.value(0));
        info.className = QString::fromLocal8Bit(parts.value(1));
    }
    const std::optional<X11Property> netName = m_connection->property(window, m_connection->atom("_NET_WM_NAME"), 4096);
    if (netName && netName->format == 8) {
        info.title = QString::fromUtf8(netName->value);
    } else if (const std::optional<X11Property> name = m_connection->property(window, XCB_ATOM_WM_NAME, 4096);
               name && name->format == 8) {
        info.title = QString::fromLatin1(name->value);
    }
    info.pid = pidOf(window);
    return info;
}

std::optional<qint64> X11WindowSystem::pidOf(xcb_window_t window) const
{
    const std::optional<X11Property> netPid = m_connection->property(window, m_connection->atom("_NET_WM_PID"), 4);
    if (netPid && netPid->format == 32 && netPid->value.size() == 4) {
        quint32 pid = 0;
        std::memcpy(&pid, netPid->value.constData(), sizeof pid);
        if (pid > 0) {
            return pid;
        }
    }
    // Programs that set no _NET_WM_PID (xterm among them) are still known to a local X server by their socket.
    if (!m_hasXRes) {
        return std::nullopt;
    }
    xcb_connection_t* c = m_connection->connection();
    const xcb_res_client_id_spec_t spec { window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID };
    const X11Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr));
    if (!reply) {
        return std::nullopt;
    }
    for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) && it.data->length == 4) {
            return *xcb_res_client_id_value_value(it.data);
        }
    }
    return std::nullopt;
}

bool X11WindowSystem::onEvent(const xcb_generic_event_t* event)
{
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY || m_activations.isEmpty()) {
        return false;
    }
    const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (notify->window != m_connection->root() || notify->atom != m_connection->atom("_NET_ACTIVE_WINDOW")) {
        return false;
    }
    const std::optional<xcb_window_t> active = activeId();
    QList<quint64> done;
    for (const Activation& activation : std::as_const(m_activations)) {
        if (activation.window == active) {
            done.append(activation.serial);
        }
    }
    for (const quint64 serial : done) {
        finish(serial, true);
    }
    // Qt follows the active window too.
    return false;
}

void X11WindowSystem::finish(quint64 serial, bool activated)
{
    const auto it = std::find_if(
        m_activations.begin(), m_activations.end(), [serial](const Activation& a) { return a.serial == serial; });
    if (it == m_activations.end()) {
        return;
    }
    const std::shared_ptr<QPromise<bool>> promise = it->promise;
    m_activations.erase(it);
    promise->addResult(activated);
    promise->finish();
}

} // namespace murmeli::platform
