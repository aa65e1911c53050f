#include "platform/desktop/x11/X11SelectionReader.h"

#include <poll.h>

#include <algorithm>
#include <cstring>

#include <QString>

#include "platform/desktop/x11/X11Reply.h"

namespace murmeli::platform {

namespace {

// The most one type may bring: 64 MiB, in the 32-bit units a property read counts.
constexpr quint32 maxPropertyUnits = 16 * 1024 * 1024;

const char* selectionName(ClipboardMode mode)
{
    return mode == ClipboardMode::Clipboard ? "CLIPBOARD" : "PRIMARY";
}

} // namespace

std::unique_ptr<X11SelectionReader> X11SelectionReader::open()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.data) {
        xcb_disconnect(connection);
        return nullptr;
    }
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, screens.data->root_visual, 0, nullptr);
    xcb_flush(connection);
    return std::unique_ptr<X11SelectionReader>(new X11SelectionReader(connection, window));
}

X11SelectionReader::X11SelectionReader(xcb_connection_t* connection, xcb_window_t window)
    : m_connection(connection), m_window(window), m_atoms(connection)
{
}

X11SelectionReader::~X11SelectionReader()
{
    xcb_destroy_window(m_connection, m_window);
    xcb_disconnect(m_connection);
}

void X11SelectionReader::noteOwnClaim(ClipboardMode mode)
{
    if (const xcb_window_t ours = owner(m_atoms.atom(selectionName(mode))); ours != XCB_WINDOW_NONE) {
        m_ownOwner = ours;
    }
}

std::optional<ClipboardContent> X11SelectionReader::read(ClipboardMode mode, int budgetMs)
{
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    ClipboardContent content;
    if (xcb_connection_has_error(m_connection)) {
        content.complete = false;
        return content;
    }
    dropQueuedEvents();
    const xcb_atom_t selection = m_atoms.atom(selectionName(mode));
    const xcb_window_t current = owner(selection);
    if (current == XCB_WINDOW_NONE) {
        return content;
    }
    if (current == m_ownOwner) {
        return std::nullopt;
    }
    const Converted targets = convert(selection, m_atoms.atom("TARGETS"), deadline);
    if (targets.answer != Answer::Data) {
        content.complete = targets.answer == Answer::Refused;
        return content;
    }

    QList<xcb_atom_t> wanted;
    // The plain text comes from the best of the types that carry it: UTF-8, then Qt's own name, then Latin-1.
    xcb_atom_t text = XCB_ATOM_NONE;
    int textRank = 0;
    const auto* atoms = reinterpret_cast<const xcb_atom_t*>(targets.data.constData());
    for (qsizetype i = 0; i < targets.data.size() / qsizetype(sizeof(xcb_atom_t)); ++i) {
        const QByteArray name = atomName(atoms[i]);
        const int rank = name == "UTF8_STRING" ? 3 : name == "text/plain" ? 2 : name == "STRING" ? 1 : 0;
        if (rank > textRank) {
            text = atoms[i];
            textRank = rank;
        } else if (rank == 0 && name.contains('/') && !wanted.contains(atoms[i])) {
            wanted.append(atoms[i]);
        }
    }
    // Qt offers its plain text under every text type again, so one of them is enough to bring it back.
    if (text != XCB_ATOM_NONE) {
        wanted.prepend(text);
    }
    for (const xcb_atom_t target : wanted) {
        const Converted converted = convert(selection, target, deadline);
        if (converted.answer == Answer::TimedOut || converted.type == m_atoms.atom("INCR")) {
            content.complete = false;
            if (converted.answer == Answer::TimedOut) {
                break;
            }
            continue;
        }
        if (converted.answer != Answer::Data || converted.data.isEmpty()) {
            continue;
        }
        if (target == text) {
            const bool latin1 = atomName(target) == "STRING";
            const QByteArray utf8 = latin1 ? QString::fromLatin1(converted.data).toUtf8() : converted.data;
            content.items.append({ QStringLiteral("text/plain"), utf8 });
        } else {
            content.items.append({ QString::fromLatin1(atomName(target)), converted.data });
        }
    }
    return content;
}

X11SelectionReader::Converted X11SelectionReader::convert(xcb_atom_t selection, xcb_atom_t target, Deadline deadline)
{
    const xcb_atom_t property = m_atoms.atom("MURMELI_SELECTION");
    xcb_convert_selection(m_connection, m_window, selection, target, property, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const X11Reply<xcb_generic_event_t> owned(event);
            if ((event->response_type & 0x7f) != XCB_SELECTION_NOTIFY) {
                continue;
            }
            const auto* notify = reinterpret_cast<const xcb_selection_notify_event_t*>(event);
            if (notify->selection != selection || notify->target != target) {
                continue;
            }
            if (notify->property == XCB_ATOM_NONE) {
                return { Answer::Refused, XCB_ATOM_NONE, {} };
            }
            const X11Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection,
                xcb_get_property(
                    m_connection, 1, m_window, notify->property, XCB_GET_PROPERTY_TYPE_ANY, 0, maxPropertyUnits),
                nullptr));
            if (!reply) {
                return { Answer::Refused, XCB_ATOM_NONE, {} };
            }
            return { Answer::Data, reply->type,
                QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                    xcb_get_property_value_length(reply.get())) };
        }
        if (xcb_connection_has_error(m_connection)) {
            return {};
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd descriptor { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
        ::poll(&descriptor, 1, int(std::min<qint64>(left.count(), 1000)));
    }
}

void X11SelectionReader::dropQueuedEvents()
{
    // Late answers to a read that ran out of time must not pass for answers to this one.
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        std::free(event);
    }
}

xcb_window_t X11SelectionReader::owner(xcb_atom_t selection)
{
    const X11Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

QByteArray X11SelectionReader::atomName(xcb_atom_t atom)
{
    if (const auto it = m_names.find(atom); it != m_names.end()) {
        return it->second;
    }
    const X11Reply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr));
    if (!reply) {
        return {};
    }
    const QByteArray name(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
    m_names.emplace(atom, name);
    return name;
}

} // namespace murmeli::platform
