#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

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

/// Pastes through the clipboard: the user's clipboard and selection are saved, the text put on both, the target
/// window brought to the front and the paste keystroke sent; 500 ms later each saved selection comes back unless
/// someone changed it meanwhile. The text goes only to the window the take was for: when that window is gone or not
/// in front at the paste, nothing is pasted. Mode B and every failure leave the text on the clipboard (or, when the
/// clipboard refuses it, on the selection) and ask the owner to show a notice. The text goes out as one line of plain
/// text (DictatedText), so nothing in it acts as a key.
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
    /// The notice's title when the clipboard refused the text and the selection (a middle click pastes it) holds it.
    static constexpr auto inSelectionTitle = "murmeli · 未能复制到剪贴板,可用中键粘贴";
    /// The notice's title when neither took the text: the notice is all that shows the words.
    static constexpr auto notCopiedTitle = "murmeli · 未能复制到剪贴板";

    /// Everything given must outlive this object and the restore it leaves behind.
    SystemVoiceTextInjector(const AXHealth& health, InputInjector& input, platform::ClipboardAccess& clipboard,
        platform::WindowSystem& windows, common::Clock& clock);

    QCoro::Task<std::optional<QString>> injectModeA(QString text, FocusTarget target) override;
    void injectModeB(const QString& text, ModeBReason reason) override;
    void abandonPaste() override;

    /// A notice for the user: the text is on the clipboard.
    std::function<void(const QString& title, const QString& body)> onNotify;
    /// Every log line of the injection.
    common::LogSink onLog;
    /// The window a paste is aimed at (absent: whatever has the focus), before it is brought to the front.
    std::function<void(const std::optional<platform::WindowInfo>& window)> onModeAStarted;
    /// Keys could not be sent when a paste was due; names where ("Voice inject Mode A").
    std::function<void(const QString& source)> onAXRevoked;

private:
    /// One selection the paste borrowed: what it held and its change count once the text was on.
    struct Borrowed final {
        ClipboardSnapshot saved;
        quint64 expected = 0;
    };

    /// Saves the user's clipboard and selection and puts text in their place; what was saved of each one that took
    /// the text, the clipboard first; nullopt when the clipboard refused it.
    std::optional<std::vector<Borrowed>> takeClipboard(const QString& text);
    bool changedSince(const std::vector<Borrowed>& borrowed) const;
    /// Puts back what the paste took, after delayMs.
    void giveBack(const std::vector<Borrowed>& borrowed, qint64 delayMs);
    /// Whether the paste numbered paste was abandoned; if so, gives the clipboard back and says so.
    bool dropIfAbandoned(quint64 paste, const std::vector<Borrowed>& borrowed);
    /// Nothing is pasted, for why: the text goes on the clipboard as a plain entry or, failing that, on the selection;
    /// the user is told where it is, or that it is nowhere. Answers why.
    QString keepUnpasted(const QString& text, const QString& why);
    /// The clipboard refused the text: the selection keeps it where it can.
    void keepInSelection(const QString& text);
    /// The target's window while it is there; the active one for a target that names none.
    std::optional<platform::WindowInfo> targetWindow(const FocusTarget& target) const;
    /// Waits for the modifiers to be let go; false when they are still held after the limit. Ends early (true) once
    /// the paste numbered paste is abandoned.
    QCoro::Task<bool> modifiersReleased(quint64 paste);
    /// The text stays where the paste put it, for why, and the user is told; answers why.
    QString leaveOnClipboard(const QString& text, const QString& why);
    void notifyOnClipboard(const QString& text);

    const AXHealth& m_health;
    InputInjector& m_input;
    platform::ClipboardAccess& m_clipboard;
    platform::WindowSystem& m_windows;
    common::Clock& m_clock;
    // A paste suspended on the window manager finds out through this whether the injector is still there.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    // Pastes are numbered as they start; every one up to m_abandonedUpTo is to be dropped.
    quint64 m_pastes = 0;
    quint64 m_abandonedUpTo = 0;
};

} // namespace murmeli::voice
