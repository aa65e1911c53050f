#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QtGlobal>

#include "platform/desktop/KeyChord.h"

namespace murmeli::platform {

/// Names one grab for as long as it is held.
using HotkeyId = int;

/// What a grab got: the grab's id, or why there is none.
struct HotkeyGrab final {
    std::optional<HotkeyId> id;
    /// Why the chord could not be taken ("held by another program", "no X display", ...); "" on success.
    QString error;

    friend bool operator==(const HotkeyGrab&, const HotkeyGrab&) = default;
};

/// Keys taken for the whole desktop whichever window has the focus: while a chord is grabbed no other program sees
/// it. Main thread only; the callbacks are called there, from the event loop, never from inside a call.
class GlobalHotkeys {
public:
    GlobalHotkeys() = default;
    virtual ~GlobalHotkeys() = default;
    Q_DISABLE_COPY_MOVE(GlobalHotkeys)

    /// Takes chord from the desktop; the id it is reported with, or why it could not be taken.
    virtual HotkeyGrab grab(const KeyChord& chord) = 0;
    /// Gives the chord back to the desktop; an unknown id does nothing. A chord held down then gets no release.
    virtual void ungrab(HotkeyId id) = 0;

    /// The grabbed chord went down: once per press, auto-repeat of a held key is not reported.
    std::function<void(HotkeyId)> onPressed;
    /// The grabbed chord's key came up, whatever happened to its modifiers meanwhile.
    std::function<void(HotkeyId)> onReleased;
};

} // namespace murmeli::platform
