#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include <QByteArray>

#include <xcb/xcb.h>

#include "platform/desktop/qt/ForeignSelectionReader.h"
#include "platform/desktop/x11/X11AtomCache.h"

namespace murmeli::platform {

/// Reads the selections of other programs on a display connection of its own, waiting for every answer on a
/// deadline: a program that owns a selection and never answers costs the caller the budget and nothing more. Types
/// come back as Qt names them (the text types as "text/plain", others by their own name); content sent in pieces
/// (INCR) is left out and makes the read incomplete.
class X11SelectionReader final : public ForeignSelectionReader {
public:
    /// A reader on the display of DISPLAY; nullptr when it cannot be reached.
    static std::unique_ptr<X11SelectionReader> open();
    ~X11SelectionReader() override;

    std::optional<ClipboardContent> read(ClipboardMode mode, int budgetMs) override;
    void noteOwnClaim(ClipboardMode mode) override;

private:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Answer { Data, Refused, TimedOut };
    struct Converted final {
        Answer answer = Answer::TimedOut;
        xcb_atom_t type = XCB_ATOM_NONE;
        QByteArray data;
    };

    X11SelectionReader(xcb_connection_t* connection, xcb_window_t window);
    QByteArray atomName(xcb_atom_t atom);
    xcb_window_t owner(xcb_atom_t selection);
    Converted convert(xcb_atom_t selection, xcb_atom_t target, Deadline deadline);
    void dropQueuedEvents();

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    X11AtomCache m_atoms;
    std::map<xcb_atom_t, QByteArray> m_names;
    // The window Qt answers from, learnt when this process took a selection.
    xcb_window_t m_ownOwner = XCB_WINDOW_NONE;
};

} // namespace murmeli::platform
