#pragma once

#include <QLatin1String>
#include <QStringView>

namespace murmeli::hooks {

/// What a host application mainly is: a terminal emulator, or an editor with a terminal of its own inside.
enum class TerminalHostKind { Terminal, Editor };

/// One Linux application that can host an agent's shell, as the process listing and the window system know it.
/// A name may stand in several rows when the application runs under several executables or window classes.
struct TerminalHost final {
    QLatin1String name; // what discovery reports as the agent's terminal application
    QLatin1String executable; // last path component of its process, lower case; empty when it has none of its own
    QLatin1String windowClass; // the class half of its windows' WM_CLASS; empty when it draws no X11 window
    TerminalHostKind kind = TerminalHostKind::Terminal;
};

/// The first host whose executable is exactly name (compare lower case); nullptr when none is.
const TerminalHost* terminalHostByExecutable(QStringView name);

/// The first host whose windows carry this WM_CLASS class, exact and case-sensitive; nullptr for none or empty.
const TerminalHost* terminalHostByWindowClass(QStringView windowClass);

} // namespace murmeli::hooks
