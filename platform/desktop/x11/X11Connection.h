#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QList>

#include <xcb/xcb.h>

#include "platform/desktop/x11/X11AtomCache.h"

namespace murmeli::platform {

/// A window property as the display holds it.
struct X11Property final {
    xcb_atom_t type = XCB_ATOM_NONE;
    quint8 format = 0; // bits per item: 8, 16 or 32
    QByteArray value;
};

/// Qt's own connection to the X display, shared by the desktop backends: Qt reads its events, and this passes each
/// one to the backends first from Qt's native event filter, on the main thread, so no thread of ours reads the
/// display.
class X11Connection final : public QAbstractNativeEventFilter {
public:
    using Listener = std::function<bool(const xcb_generic_event_t*)>;

    /// The connection of the running QGuiApplication on the xcb platform; nullptr on any other platform.
    static std::shared_ptr<X11Connection> fromQt();

    X11Connection(xcb_connection_t* connection, xcb_window_t root);
    ~X11Connection() override;
    Q_DISABLE_COPY_MOVE(X11Connection)

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    /// The atom of name, asked of the display once.
    xcb_atom_t atom(const char* name);
    /// The property's value, at most maxBytes of it; absent when the window or the property does not exist.
    std::optional<X11Property> property(xcb_window_t window, xcb_atom_t property, quint32 maxBytes = 64 * 1024);
    /// Whether the display has the extension (by its protocol name, "XTEST").
    bool hasExtension(const char* name);
    /// Adds events to those the root window reports to this client, keeping those Qt asked for.
    void selectRootEvents(quint32 mask);
    /// The server time of the last event seen that carried one; 0 (the current time) before any.
    xcb_timestamp_t lastEventTime() const { return m_lastEventTime; }
    /// Waits for the display to have handled every request sent so far.
    void sync();

    /// Calls listener with every event before Qt handles it; a listener returning true keeps it from Qt and from
    /// later listeners. Returns the number removeListener() takes.
    int addListener(Listener listener);
    void removeListener(int id);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void noteTime(const xcb_generic_event_t* event);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    X11AtomCache m_atoms;
    std::map<int, Listener> m_listeners;
    int m_nextListener = 1;
    xcb_timestamp_t m_lastEventTime = XCB_CURRENT_TIME;
};

} // namespace murmeli::platform
