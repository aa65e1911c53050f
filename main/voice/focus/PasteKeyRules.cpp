#include "main/voice/focus/PasteKeyRules.h"

#include <array>

#include <QLatin1String>

#include "main/voice/focus/TerminalAppCatalog.h"

namespace murmeli::voice {

namespace {

// One row matches a host by its name, or, with an empty name, every host of its kind; the first match wins.
struct Row {
    QLatin1String hostName;
    hooks::TerminalHostKind kind;
    PasteKey key;
};

constexpr auto terminal = hooks::TerminalHostKind::Terminal;
constexpr auto editor = hooks::TerminalHostKind::Editor;

constexpr std::array rows {
    // A default xterm or rxvt-unicode ignores Ctrl+Shift+V; Shift+Insert inserts the primary selection.
    Row { QLatin1String("XTerm"), terminal, PasteKey::ShiftInsert },
    Row { QLatin1String("URxvt"), terminal, PasteKey::ShiftInsert },
    Row { QLatin1String(""), terminal, PasteKey::CtrlShiftV },
    Row { QLatin1String(""), editor, PasteKey::CtrlV },
};

} // namespace

QString toString(PasteKey key)
{
    switch (key) {
    case PasteKey::CtrlV:
        return QStringLiteral("Ctrl+V");
    case PasteKey::CtrlShiftV:
        return QStringLiteral("Ctrl+Shift+V");
    case PasteKey::ShiftInsert:
        return QStringLiteral("Shift+Insert");
    }
    return {};
}

PasteKey PasteKeyRules::keyFor(const std::optional<QString>& windowClass)
{
    const hooks::TerminalHost* host = TerminalAppCatalog::host(windowClass);
    if (!host) {
        return PasteKey::CtrlV;
    }
    for (const Row& row : rows) {
        if (row.kind == host->kind && (row.hostName.isEmpty() || row.hostName == host->name)) {
            return row.key;
        }
    }
    return PasteKey::CtrlV;
}

} // namespace murmeli::voice
