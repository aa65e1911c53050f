#include "main/hooks/terminals/TerminalHosts.h"

#include <array>

namespace murmeli::hooks {

namespace {

using L = QLatin1String;
constexpr auto terminal = TerminalHostKind::Terminal;
constexpr auto editor = TerminalHostKind::Editor;

// Window classes are what the applications set by default; a user who renames the class (xterm -class, st -c) is not
// recognised by it, and detection then falls back to the focused element's role.
constexpr std::array hosts {
    TerminalHost { L("GNOME Terminal"), L("gnome-terminal-server"), L("Gnome-terminal"), terminal },
    TerminalHost { L("GNOME Terminal"), L("gnome-terminal"), L(""), terminal },
    TerminalHost { L("Konsole"), L("konsole"), L("konsole"), terminal },
    TerminalHost { L("XTerm"), L("xterm"), L("XTerm"), terminal },
    TerminalHost { L("XTerm"), L(""), L("UXTerm"), terminal },
    TerminalHost { L("kitty"), L("kitty"), L("kitty"), terminal },
    TerminalHost { L("Alacritty"), L("alacritty"), L("Alacritty"), terminal },
    TerminalHost { L("Tilix"), L("tilix"), L("Tilix"), terminal },
    TerminalHost { L("Xfce Terminal"), L("xfce4-terminal"), L("Xfce4-terminal"), terminal },
    TerminalHost { L("Terminator"), L("terminator"), L("Terminator"), terminal },
    TerminalHost { L("Ghostty"), L("ghostty"), L("com.mitchellh.ghostty"), terminal },
    TerminalHost { L("WezTerm"), L("wezterm-gui"), L("org.wezfurlong.wezterm"), terminal },
    // foot speaks only Wayland, so it has no X11 window to recognise.
    TerminalHost { L("foot"), L("foot"), L(""), terminal },
    TerminalHost { L("URxvt"), L("urxvt"), L("URxvt"), terminal },
    TerminalHost { L("URxvt"), L("urxvtd"), L(""), terminal },
    TerminalHost { L("st"), L("st"), L("st-256color"), terminal },
    TerminalHost { L("MATE Terminal"), L("mate-terminal"), L("Mate-terminal"), terminal },
    TerminalHost { L("LXTerminal"), L("lxterminal"), L("Lxterminal"), terminal },
    TerminalHost { L("QTerminal"), L("qterminal"), L("qterminal"), terminal },
    TerminalHost { L("Terminology"), L("terminology"), L("terminology"), terminal },
    TerminalHost { L("Sakura"), L("sakura"), L("Sakura"), terminal },
    TerminalHost { L("VS Code"), L("code"), L("Code"), editor },
    TerminalHost { L("VSCodium"), L("codium"), L("VSCodium"), editor },
    TerminalHost { L("Cursor"), L("cursor"), L("Cursor"), editor },
    TerminalHost { L("Windsurf"), L("windsurf"), L("Windsurf"), editor },
};

// An empty value never matches: the rows leave a field empty where the host is not known that way.
const TerminalHost* find(QLatin1String TerminalHost::*field, QStringView value)
{
    if (value.isEmpty()) {
        return nullptr;
    }
    for (const TerminalHost& host : hosts) {
        if (host.*field == value) {
            return &host;
        }
    }
    return nullptr;
}

} // namespace

const TerminalHost* terminalHostByExecutable(QStringView name)
{
    return find(&TerminalHost::executable, name);
}

const TerminalHost* terminalHostByWindowClass(QStringView windowClass)
{
    return find(&TerminalHost::windowClass, windowClass);
}

} // namespace murmeli::hooks
