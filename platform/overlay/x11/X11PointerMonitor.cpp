#include "platform/overlay/x11/X11PointerMonitor.h"

#include <QCursor>

#include <xcb/xinput.h>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

X11PointerMonitor::X11PointerMonitor(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection))
{
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection->connection(), &xcb_input_id);
    if (extension && extension->present) {
        m_opcode = extension->major_opcode;
    }
    m_motion.setSingleShot(true);
    m_motion.setInterval(motionIntervalMs);
    QObject::connect(&m_motion, &QTimer::timeout, &m_motion, [this] { reportMotion(); });
}

X11PointerMonitor::~X11PointerMonitor()
{
    stop();
}

bool X11PointerMonitor::start()
{
    if (m_listener != 0) {
        return true;
    }
    if (!m_opcode || !select(XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS)) {
        return false;
    }
    m_listener = m_connection->addListener([this](const xcb_generic_event_t* event) { return onEvent(event); });
    return true;
}

void X11PointerMonitor::stop()
{
    if (m_listener == 0) {
        return;
    }
    m_connection->removeListener(m_listener);
    m_listener = 0;
    m_motion.stop();
    select(0);
    xcb_flush(m_connection->connection());
}

bool X11PointerMonitor::select(quint32 mask)
{
    // Qt selects its own XInput events for every device at once; the master devices are a separate entry, so this
    // neither replaces Qt's selection nor is replaced by it.
    struct {
        xcb_input_event_mask_t head;
        quint32 bits;
    } selection {};
    selection.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    selection.head.mask_len = 1;
    selection.bits = mask;
    xcb_connection_t* c = m_connection->connection();
    const xcb_void_cookie_t cookie = xcb_input_xi_select_events_checked(c, m_connection->root(), 1, &selection.head);
    const X11Reply<xcb_generic_error_t> error(xcb_request_check(c, cookie));
    return !error;
}

bool X11PointerMonitor::onEvent(const xcb_generic_event_t* event)
{
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) {
        return false;
    }
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != *m_opcode) {
        return false;
    }
    switch (generic->event_type) {
    case XCB_INPUT_RAW_MOTION:
        if (!m_motion.isActive()) {
            m_motion.start();
        }
        return true;
    case XCB_INPUT_RAW_BUTTON_PRESS: {
        if (reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event)->detail != 1) {
            return true;
        }
        // Where the press happened, asked now; the callback runs once this event has been handled.
        const QPoint at = QCursor::pos();
        QTimer::singleShot(0, &m_motion, [this, at] {
            if (m_listener != 0 && onLeftPressed) {
                onLeftPressed(at);
            }
        });
        return true;
    }
    default:
        // Qt's own XInput events (its windows' pointer, touch and device changes) go on to Qt.
        return false;
    }
}

void X11PointerMonitor::reportMotion()
{
    const QPoint at = QCursor::pos();
    if (at == m_lastReported) {
        return;
    }
    m_lastReported = at;
    if (onMoved) {
        onMoved(at);
    }
}

} // namespace murmeli::platform
