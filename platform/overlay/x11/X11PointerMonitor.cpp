#include "platform/overlay/x11/X11PointerMonitor.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <QCursor>

#include <xcb/xinput.h>

#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

namespace {

// Raw motion comes from the devices wherever the pointer is, but not for a pointer moved by synthesised events,
// which the root window's own motion catches while the pointer is over a window whose program takes no XInput motion
// itself.
constexpr quint32 watchedEvents
    = XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_MOTION;

} // namespace

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
    if (!m_opcode || !select(watchedEvents, true)) {
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
    select(watchedEvents, false);
    xcb_flush(m_connection->connection());
}

bool X11PointerMonitor::select(quint32 bits, bool on)
{
    // Raw events come from the physical devices, so they are selected for all devices on the root window, where
    // Qt selects its own XInput events too: the selection is per client, so Qt's bits are kept and only ours change.
    xcb_connection_t* c = m_connection->connection();
    const xcb_window_t root = m_connection->root();
    std::vector<quint32> words;
    const X11Reply<xcb_input_xi_get_selected_events_reply_t> current(
        xcb_input_xi_get_selected_events_reply(c, xcb_input_xi_get_selected_events(c, root), nullptr));
    if (current) {
        for (auto it = xcb_input_xi_get_selected_events_masks_iterator(current.get()); it.rem;
             xcb_input_event_mask_next(&it)) {
            if (it.data->deviceid == XCB_INPUT_DEVICE_ALL) {
                const quint32* mask = xcb_input_event_mask_mask(it.data);
                words.assign(mask, mask + xcb_input_event_mask_mask_length(it.data));
            }
        }
    }
    if (words.empty()) {
        words.push_back(0);
    }
    words[0] = on ? (words[0] | bits) : (words[0] & ~bits);
    std::vector<quint32> request(1 + words.size());
    auto* head = reinterpret_cast<xcb_input_event_mask_t*>(request.data());
    head->deviceid = XCB_INPUT_DEVICE_ALL;
    head->mask_len = static_cast<quint16>(words.size());
    std::copy(words.begin(), words.end(), request.begin() + 1);
    const xcb_void_cookie_t cookie = xcb_input_xi_select_events_checked(c, root, 1, head);
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
    case XCB_INPUT_MOTION: {
        // Motion on Qt's own windows goes on to Qt, and is reported here too: a pointer moved by synthesised events
        // onto a window of ours gives no raw motion.
        if (!m_motion.isActive()) {
            m_motion.start();
        }
        return reinterpret_cast<const xcb_input_motion_event_t*>(event)->event == m_connection->root();
    }
    case XCB_INPUT_RAW_MOTION:
        if (!m_motion.isActive()) {
            m_motion.start();
        }
        return true;
    case XCB_INPUT_RAW_BUTTON_PRESS: {
        const auto* press = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        // The server reports a press for the device that made it and again for the pointer that device drives, both
        // at the same time.
        if (press->detail != 1 || std::exchange(m_lastPressTime, press->time) == press->time) {
            return true;
        }
        // Where the press happened, asked now; the callback runs once this event has been handled.
        const QPoint at = QCursor::pos();
        const quint64 time = press->time;
        QTimer::singleShot(0, &m_motion, [this, at, time] {
            if (m_listener != 0 && onLeftPressed) {
                onLeftPressed(at, time);
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
    // Moves over Qt's own windows go to those windows and not here, so the last position reported here may be stale:
    // every burst is reported, even at a position reported before.
    if (onMoved) {
        onMoved(QCursor::pos());
    }
}

} // namespace murmeli::platform
