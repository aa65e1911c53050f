#pragma once

#include <optional>

#include <QString>
#include <QtGlobal>

#include <QCoroTask>

#include "main/voice/focus/FocusTarget.h"
#include "main/voice/focus/ModeBReason.h"

namespace murmeli::voice {

/// Where the voice flow hands a take's committed text. Main thread only: the clipboard is served from its event loop.
class VoiceTextInjector {
public:
    VoiceTextInjector() = default;
    virtual ~VoiceTextInjector() = default;
    Q_DISABLE_COPY_MOVE(VoiceTextInjector)

    /// Pastes text into the target's window, and nowhere else; finishes once the paste keystroke is sent or has
    /// failed. Nothing when the text was pasted; else why not, the text then being left on the clipboard with a notice
    /// (unless the paste was abandoned).
    virtual QCoro::Task<std::optional<QString>> injectModeA(QString text, FocusTarget target) = 0;
    /// Leaves text on the clipboard and tells the user why nothing was pasted.
    virtual void injectModeB(const QString& text, ModeBReason reason) = 0;
    /// Drops the paste under way if its keystroke has not gone out yet: nothing is pasted, and what the paste took
    /// from the clipboard goes back at once.
    virtual void abandonPaste() = 0;
};

} // namespace murmeli::voice
