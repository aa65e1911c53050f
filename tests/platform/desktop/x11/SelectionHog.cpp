// A program that takes a selection of the display and never answers a request for its content, as a program that
// hangs does. It prints "owned" once the display names it the owner, and runs until it is killed.
//
//     selection-hog CLIPBOARD|PRIMARY

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: selection-hog CLIPBOARD|PRIMARY\n");
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "selection-hog: no display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        screen->root_visual, 0, nullptr);
    xcb_intern_atom_reply_t* atom
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(argv[1]), argv[1]), nullptr);
    if (!atom) {
        return 1;
    }
    xcb_set_selection_owner(c, window, atom->atom, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner
        = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    if (!owner || owner->owner != window) {
        std::fprintf(stderr, "selection-hog: the display kept another owner\n");
        return 1;
    }
    std::free(owner);
    std::free(atom);
    std::printf("owned\n");
    std::fflush(stdout);
    // Requests for the content come in as events; none is ever answered.
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        std::free(event);
    }
    return 0;
}
