#include "main/voice/injection/SystemVoiceTextInjector.h"

#include <tuple>
#include <utility>

#include <QCoroFuture>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"
#include "main/common/TextUtils.h"
#include "main/voice/focus/PasteKeyRules.h"
#include "main/voice/injection/AXHealth.h"
#include "main/voice/injection/InputInjector.h"
#include "platform/desktop/ClipboardAccess.h"

namespace murmeli::voice {

using common::LogColor;
using platform::ClipboardMode;

SystemVoiceTextInjector::SystemVoiceTextInjector(const AXHealth& health, InputInjector& input,
    platform::ClipboardAccess& clipboard, platform::WindowSystem& windows, common::Clock& clock)
    : m_health(health), m_input(input), m_clipboard(clipboard), m_windows(windows), m_clock(clock)
{
}

QCoro::Task<> SystemVoiceTextInjector::injectModeA(QString text, FocusTarget target)
{
    if (!m_health.isTrusted()) {
        onLog(QStringLiteral("⚠ Voice inject blocked: AX revoked at inject time → Mode B fallback"), LogColor::Orange);
        if (onAXRevoked) {
            onAXRevoked(QStringLiteral("Voice inject Mode A"));
        }
        injectModeB(text, ModeBReason::AxRevokedAtInject);
        co_return;
    }
    onLog(QStringLiteral("Voice inject (Mode A · %1): %2").arg(target.role, common::text::prefixCharacters(text, 40)),
        LogColor::Purple);

    const std::optional<platform::WindowInfo> window = targetWindow(target);
    std::optional<std::pair<ClipboardSnapshot, quint64>> taken = takeClipboard(text);
    if (!taken) {
        keepWithoutPaste(text);
        co_return;
    }
    auto [snapshot, expected] = std::move(*taken);
    if (onModeAStarted) {
        onModeAStarted(window);
    }

    const std::weak_ptr<bool> alive = m_alive;
    if (window) {
        const bool activated = co_await m_windows.activate(window->id, activationTimeout);
        if (alive.expired()) {
            co_return;
        }
        if (!activated) {
            onLog(QStringLiteral("Voice paste: window 0x%1 did not come to the front → pasting where the focus is")
                      .arg(window->id, 0, 16),
                LogColor::Orange);
        }
    }

    // A modifier still held down from the push-to-talk chord would turn the paste into another shortcut.
    const bool released = co_await modifiersReleased();
    if (alive.expired()) {
        co_return;
    }
    // From here on a failure must not bring the old clipboard back over the text: it is the only copy of what the user
    // said.
    if (!released) {
        leaveOnClipboard(text, QStringLiteral("modifier keys still held"));
        co_return;
    }
    if (m_clipboard.changeCount(ClipboardMode::Clipboard) != expected) {
        // The user copied while the paste waited: the keystroke must not paste that, and it is what comes back.
        taken = takeClipboard(text);
        if (!taken) {
            keepWithoutPaste(text);
            co_return;
        }
        std::tie(snapshot, expected) = std::move(*taken);
    }
    const PasteKey key = PasteKeyRules::keyFor(window ? std::optional(window->className) : target.appId);
    if (!m_input.paste(key)) {
        leaveOnClipboard(text, QStringLiteral("no key could be sent"));
        co_return;
    }
    snapshot.restore(expected, m_clipboard, m_clock, restoreDelayMs, {}, [this, alive](quint64 was, quint64 now) {
        if (!alive.expired()) {
            onLog(ClipboardSnapshot::skipLine(was, now), LogColor::Orange);
        }
    });
}

void SystemVoiceTextInjector::injectModeB(const QString& text, ModeBReason reason)
{
    onLog(QStringLiteral("Voice inject (Mode B · %1): %2")
              .arg(toString(reason), common::text::prefixCharacters(text, 40)),
        LogColor::Purple);
    m_clipboard.setText(text);
    notifyOnClipboard(text);
}

std::optional<std::pair<ClipboardSnapshot, quint64>> SystemVoiceTextInjector::takeClipboard(const QString& text)
{
    ClipboardSnapshot snapshot = ClipboardSnapshot::capture(m_clipboard);
    // A write the display refused would make the paste key paste whatever was there before.
    if (!m_clipboard.setTransientText(text)) {
        return std::nullopt;
    }
    return std::pair { std::move(snapshot), m_clipboard.changeCount(ClipboardMode::Clipboard) };
}

void SystemVoiceTextInjector::keepWithoutPaste(const QString& text)
{
    if (m_clipboard.setText(text)) {
        leaveOnClipboard(text, QStringLiteral("the clipboard refused the transient text"));
        return;
    }
    // Neither write took: the log is the last place the words survive.
    onLog(QStringLiteral("⚠ Voice paste: the clipboard refused the text → nothing pasted; the text was: ") + text,
        LogColor::Red);
    notifyOnClipboard(text);
}

std::optional<platform::WindowInfo> SystemVoiceTextInjector::targetWindow(const FocusTarget& target) const
{
    if (target.windowId) {
        for (const platform::WindowInfo& window : m_windows.windows()) {
            if (window.id == *target.windowId) {
                return window;
            }
        }
    }
    return m_windows.activeWindow();
}

QCoro::Task<bool> SystemVoiceTextInjector::modifiersReleased()
{
    // Only objects the owner keeps for the whole run are touched after a wait; the caller checks that this one is.
    InputInjector& input = m_input;
    common::Clock& clock = m_clock;
    for (qint64 waitedMs = 0; input.heldModifiers(); waitedMs += modifierPollMs) {
        if (waitedMs >= modifierWaitLimitMs) {
            co_return false;
        }
        common::OneShot<bool> tick;
        clock.schedule(modifierPollMs, [tick]() mutable { tick.fulfil(true); });
        co_await tick;
    }
    co_return true;
}

void SystemVoiceTextInjector::leaveOnClipboard(const QString& text, const QString& why)
{
    onLog(QStringLiteral("⚠ Voice paste: %1 → text left on the clipboard").arg(why), LogColor::Red);
    notifyOnClipboard(text);
}

void SystemVoiceTextInjector::notifyOnClipboard(const QString& text)
{
    if (onNotify) {
        onNotify(QString::fromUtf8(noticeTitle), common::text::prefixCharacters(text, 80));
    }
}

} // namespace murmeli::voice
