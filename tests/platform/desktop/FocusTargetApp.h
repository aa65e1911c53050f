#pragma once

namespace murmeli::test {

/// The argument that makes the X11 test suite's executable run as a small application for the accessibility probe
/// to look at, instead of running the tests.
inline constexpr char focusTargetArgument[] = "--focus-target";

/// Shows a window with a text field, which gets the focus, and a button; a line "button" on standard input moves the
/// focus to the button. Returns the application's exit status.
int runFocusTargetApp(int argc, char** argv);

} // namespace murmeli::test
