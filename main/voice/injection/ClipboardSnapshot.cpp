#include "main/voice/injection/ClipboardSnapshot.h"

#include <utility>

#include "main/common/Clock.h"

namespace murmeli::voice {

using platform::ClipboardMode;

ClipboardSnapshot ClipboardSnapshot::capture(platform::ClipboardAccess& clipboard, ClipboardMode mode)
{
    platform::ClipboardContent content = clipboard.snapshot(mode);
    return { content.changeCount, std::move(content.items), mode, content.complete };
}

QString ClipboardSnapshot::skipLine(quint64 expected, quint64 now)
{
    return QStringLiteral("⚠ Clipboard changed during voice flow, skipping restore (expected cc=%1, now cc=%2)")
        .arg(expected)
        .arg(now);
}

void ClipboardSnapshot::restore(quint64 expected, platform::ClipboardAccess& clipboard, common::Clock& clock,
    qint64 delayMs, ChangeCountReader nowChangeCount, SkipReporter onSkip) const
{
    if (!nowChangeCount) {
        nowChangeCount = [&clipboard, mode = mode] { return clipboard.changeCount(mode); };
    }
    clock.schedule(qMax<qint64>(delayMs, 0),
        [items = items, mode = mode, expected, &clipboard, now = std::move(nowChangeCount), skip = std::move(onSkip)] {
            const quint64 current = now();
            if (current != expected) {
                if (skip) {
                    skip(expected, current);
                }
                return;
            }
            clipboard.restore(mode, items);
        });
}

} // namespace murmeli::voice
