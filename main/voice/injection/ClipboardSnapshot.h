#pragma once

#include <functional>

#include <QList>
#include <QtGlobal>

#include "platform/desktop/ClipboardAccess.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::voice {

/// The user's clipboard (or selection) as it was before a paste borrowed it: every type it offered, with its data.
struct ClipboardSnapshot final {
    /// Reads the clipboard's current change count.
    using ChangeCountReader = std::function<quint64()>;
    /// Told (expected, now) when the restore is skipped because the clipboard changed meanwhile.
    using SkipReporter = std::function<void(quint64 expected, quint64 now)>;

    /// The clipboard's change count when the snapshot was taken.
    quint64 originalChangeCount = 0;
    /// Every type the clipboard offered and gave data for, in its order.
    QList<platform::ClipboardItem> items;
    /// Which of the desktop's selections this is.
    platform::ClipboardMode mode = platform::ClipboardMode::Clipboard;
    /// False when the owner did not hand over everything in time; items holds what it gave.
    bool complete = true;

    /// Everything the selection offers now.
    static ClipboardSnapshot capture(
        platform::ClipboardAccess& clipboard, platform::ClipboardMode mode = platform::ClipboardMode::Clipboard);

    /// The skip line: "⚠ Clipboard changed during voice flow, skipping restore (expected cc=…, now cc=…)".
    static QString skipLine(quint64 expected, quint64 now);

    /// Returns at once; after delayMs on clock, puts the items back (emptying the clipboard when there are none) if
    /// the change count is still expected, else leaves the newer content alone and reports the skip. An empty
    /// nowChangeCount reads the clipboard's own count; an empty onSkip reports nothing. clipboard and clock must
    /// outlive the delay.
    void restore(quint64 expected, platform::ClipboardAccess& clipboard, common::Clock& clock, qint64 delayMs = 50,
        ChangeCountReader nowChangeCount = {}, SkipReporter onSkip = {}) const;

    friend bool operator==(const ClipboardSnapshot&, const ClipboardSnapshot&) = default;
};

} // namespace murmeli::voice
