#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <QString>

#include "main/common/Log.h"
#include "main/voice/injection/ClipboardSnapshot.h"
#include "main/voice/injection/VoiceTextInjector.h"
#include "platform/desktop/WindowSystem.h"

namespace murmeli::common {
class Clock;
}

namespace murmeli::platform {
class ClipboardAccess;
}

namespace murmeli::voice {

class AXHealth;
class InputInjector;

/// Pastes through the clipboard: the user's clipboard is saved, the text put on it, the target window brought to the
/// front and the paste keystroke sent; 500 ms later the saved clipboard comes back unless someone changed it
/// meanwhile. Mode B and every failure leave the text on the clipboard and ask the owner to show a notice.
class SystemVoiceTextInjector final : public VoiceTextInjector {
public:
    /// How long after the paste the user's clipboard comes back.
    static constexpr qint64 restoreDelayMs = 500;
    /// How long the window manager may take to bring the target to the front.
    static constexpr std::chrono::milliseconds activationTimeout { 1000 };
    /// How often, and how long at most, a paste waits for the user to let go of modifier keys.
    static constexpr qint64 modifierPollMs = 10;
    static constexpr qint64 modifierWaitLimitMs = 1000;
    /// The notice's title; its body is the text's first 80 characters.
    static constexpr auto noticeTitle = "murmeli · 录音已复制";

    /// Everything given must outlive this object and the restore it leaves behind.
    SystemVoiceTextInjector(const AXHealth& health, InputInjector& input, platform::ClipboardAccess& clipboard,
        platform::WindowSystem& windows, common::Clock& clock);

    QCoro::Task<> injectModeA(QString text, FocusTarget target) override;
    void injectModeB(const QString& text, ModeBReason reason) override;

    /// A notice for the user: the text is on the clipboard.
    std::function<void(const QString& title, const QString& body)> onNotify;
    /// Every log line of the injection.
    common::LogSink onLog;
    /// The window a paste is aimed at (absent: whatever has the focus), before it is brought to the front.
    std::function<void(const std::optional<platform::WindowInfo>& window)> onModeAStarted;
    /// Keys could not be sent when a paste was due; names where ("Voice inject Mode A").
    std::function<void(const QString& source)> onAXRevoked;

private:
    /// Saves the user's clipboard and puts text in its place; the saved content and the change count that follows.
    /// Snapshot of the old content and the change count after the text went on; nullopt when the write was refused.
    std::optional<std::pair<ClipboardSnapshot, quint64>> takeClipboard(const QString& text);
    /// The transient write was refused: the text goes on as a plain entry, and is never lost silently.
    void keepWithoutPaste(const QString& text);
    std::optional<platform::WindowInfo> targetWindow(const FocusTarget& target) const;
    QCoro::Task<bool> modifiersReleased();
    void leaveOnClipboard(const QString& text, const QString& why);
    void notifyOnClipboard(const QString& text);

    const AXHealth& m_health;
    InputInjector& m_input;
    platform::ClipboardAccess& m_clipboard;
    platform::WindowSystem& m_windows;
    common::Clock& m_clock;
    // A paste suspended on the window manager finds out through this whether the injector is still there.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace murmeli::voice
