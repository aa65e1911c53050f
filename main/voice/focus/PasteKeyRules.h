#pragma once

#include <optional>

#include <QString>

namespace murmeli::voice {

/// The keystrokes that paste in the applications murmeli pastes into.
enum class PasteKey { CtrlV, CtrlShiftV, ShiftInsert };

/// "Ctrl+V", "Ctrl+Shift+V" or "Shift+Insert", for log lines.
QString toString(PasteKey key);

/// The paste keystroke for each window, by the catalogue's hosts: terminals take Ctrl+Shift+V because Ctrl+V reaches
/// the shell as a literal-next; terminals that bind no clipboard paste by default take Shift+Insert, which pastes
/// the primary selection there (the injector puts the text there too); editors and every other application take
/// Ctrl+V.
class PasteKeyRules final {
public:
    /// The keystroke for a window of this WM_CLASS class; absent or unknown gives Ctrl+V.
    static PasteKey keyFor(const std::optional<QString>& windowClass);
};

} // namespace murmeli::voice
