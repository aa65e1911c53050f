#pragma once

#include <functional>

#include <QString>

#include "main/common/Log.h"
#include "main/voice/focus/PasteKeyRules.h"
#include "platform/desktop/KeyChord.h"

namespace murmeli::platform {
class KeyInjector;
}

namespace murmeli::voice {

class AXHealth;

/// Synthesises keystrokes into whatever window has the keyboard focus: the paste keystroke of the text injection and
/// single keys such as the Escape of a rejected prompt. Every call first asks AXHealth and, when keys cannot be sent
/// here, reports the blocked call through onAXRevoked instead of sending anything. Main thread only.
class InputInjector final {
public:
    /// Both must outlive this object.
    InputInjector(const AXHealth& health, platform::KeyInjector& keys);

    /// The red log line the owner writes for a blocked call, with why keys cannot be sent here.
    QString blockedLine(const QString& operation) const;

    /// The chord that sends a paste keystroke.
    static platform::KeyChord chordFor(PasteKey key);

    /// Sends the paste keystroke; true when the display took it. Blocked: "paste".
    bool paste(PasteKey key);

    /// Presses and releases the chord; true when the display took it. Blocked: "sendKey".
    bool sendKey(const platform::KeyChord& chord);

    /// The modifier keys the user holds down now; a paste sent meanwhile would arrive with them added.
    platform::KeyModifiers heldModifiers() const;

    /// Called with the blocked operation's name when keys cannot be sent here.
    std::function<void(const QString& operation)> onAXRevoked;
    /// Every log line of the injector.
    common::LogSink onLog;

private:
    bool send(const QString& operation, const platform::KeyChord& chord, const QString& keyName);

    const AXHealth& m_health;
    platform::KeyInjector& m_keys;
};

} // namespace murmeli::voice
