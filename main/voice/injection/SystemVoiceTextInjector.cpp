#include "main/voice/injection/SystemVoiceTextInjector.h"

#include <algorithm>
#include <utility>

#include <QCoroFuture>

#include "main/common/Clock.h"
#include "main/common/OneShot.h"
#include "main/common/TextUtils.h"
#include "main/voice/focus/PasteKeyRules.h"
#include "main/voice/injection/AXHealth.h"
#include "main/voice/injection/DictatedText.h"
#include "main/voice/injection/InputInjector.h"
#include "platform/desktop/ClipboardAccess.h"

namespace murmeli::voice {

using common::LogColor;
using platform::ClipboardMode;

namespace {

constexpr auto abandonedWhy = "cancelled before the key went out";

} // namespace

SystemVoiceTextInjector::SystemVoiceTextInjector(const AXHealth& health, InputInjector& input,
    platform::ClipboardAccess& clipboard, platform::WindowSystem& windows, common::Clock& clock)
    : m_health(health), m_input(input), m_clipboard(clipboard), m_windows(windows), m_clock(clock)
{
}

QCoro::Task<std::optional<QString>> SystemVoiceTextInjector::injectModeA(QString said, FocusTarget target)
{
    const QString text = DictatedText::asOneLine(said);
    if (text.isEmpty()) {
        onLog(QStringLiteral("Voice inject (Mode A · %1): nothing but blanks and control characters, nothing pasted")
                  .arg(target.role),
            LogColor::Grey);
        co_return QStringLiteral("nothing but blanks and control characters");
    }
    if (!m_health.isTrusted()) {
        onLog(QStringLiteral("⚠ Voice inject blocked: AX revoked at inject time → Mode B fallback"), LogColor::Orange);
        if (onAXRevoked) {
            onAXRevoked(QStringLiteral("Voice inject Mode A"));
        }
        injectModeB(text, ModeBReason::AxRevokedAtInject);
        co_return QStringLiteral("keys cannot be sent to other programs here");
    }
    onLog(QStringLiteral("Voice inject (Mode A · %1): %2").arg(target.role, common::text::prefixCharacters(text, 40)),
        LogColor::Purple);

    const quint64 paste = ++m_pastes;
    const std::optional<platform::WindowInfo> window = targetWindow(target);
    // The take was for that window: what is in front now is someone else's, and may run what it is given.
    if (target.windowId && !window) {
        co_return keepUnpasted(text, QStringLiteral("the window the take was for is gone"));
    }
    std::optional<std::vector<Borrowed>> borrowed = takeClipboard(text);
    if (!borrowed) {
        co_return keepUnpasted(text, QStringLiteral("the clipboard refused the transient text"));
    }
    if (onModeAStarted) {
        onModeAStarted(window);
    }

    const std::weak_ptr<bool> alive = m_alive;
    if (window) {
        // Whether it came to the front is asked again just before the key goes out.
        co_await m_windows.activate(window->id, activationTimeout);
        if (alive.expired() || dropIfAbandoned(paste, *borrowed)) {
            co_return QString::fromLatin1(abandonedWhy);
        }
    }

    // A modifier still held down from the push-to-talk chord would turn the paste into another shortcut.
    const bool released = co_await modifiersReleased(paste);
    if (alive.expired() || dropIfAbandoned(paste, *borrowed)) {
        co_return QString::fromLatin1(abandonedWhy);
    }
    // From here on a failure must not bring the old clipboard back over the text: it is the only copy of what the user
    // said.
    if (!released) {
        co_return leaveOnClipboard(text, QStringLiteral("modifier keys still held"));
    }
    // The window may have closed, or another come to the front, while the paste waited.
    const std::optional<platform::WindowInfo> front = m_windows.activeWindow();
    if (window && (!front || front->id != window->id)) {
        co_return leaveOnClipboard(
            text, QStringLiteral("the window the take was for (0x%1) is not in front").arg(window->id, 0, 16));
    }
    if (changedSince(*borrowed)) {
        // The user copied or selected while the paste waited: the keystroke must not paste that, and it is what comes
        // back.
        borrowed = takeClipboard(text);
        if (!borrowed) {
            co_return keepUnpasted(text, QStringLiteral("the clipboard refused the transient text"));
        }
    }
    const PasteKey key = PasteKeyRules::keyFor(window ? std::optional(window->className) : target.appId);
    if (!m_input.paste(key)) {
        co_return leaveOnClipboard(text, QStringLiteral("no key could be sent"));
    }
    giveBack(*borrowed, restoreDelayMs);
    co_return std::nullopt;
}

void SystemVoiceTextInjector::abandonPaste()
{
    m_abandonedUpTo = m_pastes;
}

bool SystemVoiceTextInjector::dropIfAbandoned(quint64 paste, const std::vector<Borrowed>& borrowed)
{
    if (paste > m_abandonedUpTo) {
        return false;
    }
    onLog(QStringLiteral("Voice paste: cancelled before the key went out → nothing pasted"), LogColor::Orange);
    giveBack(borrowed, 0);
    return true;
}

void SystemVoiceTextInjector::injectModeB(const QString& said, ModeBReason reason)
{
    const QString text = DictatedText::asOneLine(said);
    if (text.isEmpty()) {
        onLog(QStringLiteral("Voice inject (Mode B · %1): nothing but blanks and control characters, nothing copied")
                  .arg(toString(reason)),
            LogColor::Grey);
        return;
    }
    onLog(QStringLiteral("Voice inject (Mode B · %1): %2")
              .arg(toString(reason), common::text::prefixCharacters(text, 40)),
        LogColor::Purple);
    if (m_clipboard.setText(text)) {
        notifyOnClipboard(text);
        return;
    }
    keepInSelection(text);
}

std::optional<std::vector<SystemVoiceTextInjector::Borrowed>> SystemVoiceTextInjector::takeClipboard(
    const QString& text)
{
    std::vector<Borrowed> borrowed;
    ClipboardSnapshot clipboard = ClipboardSnapshot::capture(m_clipboard, ClipboardMode::Clipboard);
    ClipboardSnapshot selection = ClipboardSnapshot::capture(m_clipboard, ClipboardMode::Selection);
    // Some terminals paste the selection rather than the clipboard, so the text goes on both; a desktop without the
    // selection refuses it and has nothing to give back.
    const bool selectionTaken = m_clipboard.setTransientText(ClipboardMode::Selection, text);
    // A write the display refused would make the paste key paste whatever was there before.
    if (!m_clipboard.setTransientText(ClipboardMode::Clipboard, text)) {
        return std::nullopt;
    }
    borrowed.push_back({ std::move(clipboard), m_clipboard.changeCount(ClipboardMode::Clipboard) });
    if (selectionTaken) {
        borrowed.push_back({ std::move(selection), m_clipboard.changeCount(ClipboardMode::Selection) });
    }
    return borrowed;
}

bool SystemVoiceTextInjector::changedSince(const std::vector<Borrowed>& borrowed) const
{
    return std::any_of(borrowed.begin(), borrowed.end(),
        [this](const Borrowed& b) { return m_clipboard.changeCount(b.saved.mode) != b.expected; });
}

void SystemVoiceTextInjector::giveBack(const std::vector<Borrowed>& borrowed, qint64 delayMs)
{
    const std::weak_ptr<bool> alive = m_alive;
    for (const Borrowed& b : borrowed) {
        const QString which
            = b.saved.mode == ClipboardMode::Clipboard ? QStringLiteral("clipboard") : QStringLiteral("selection");
        if (!b.saved.complete && b.saved.items.isEmpty()) {
            // Emptying it would throw away content we never saw; the text stays instead.
            onLog(QStringLiteral("⚠ Voice paste: the %1's owner did not answer within %2 ms, its content cannot come "
                                 "back; the text stays")
                      .arg(which)
                      .arg(platform::ClipboardAccess::snapshotBudgetMs),
                LogColor::Orange);
            continue;
        }
        if (!b.saved.complete) {
            onLog(QStringLiteral("⚠ Voice paste: the %1's owner handed over only %2 of its types in time; those come "
                                 "back")
                      .arg(which)
                      .arg(b.saved.items.size()),
                LogColor::Orange);
        }
        b.saved.restore(b.expected, m_clipboard, m_clock, delayMs, {}, [this, alive](quint64 was, quint64 now) {
            if (!alive.expired()) {
                onLog(ClipboardSnapshot::skipLine(was, now), LogColor::Orange);
            }
        });
    }
}

QString SystemVoiceTextInjector::keepUnpasted(const QString& text, const QString& why)
{
    if (m_clipboard.setText(text)) {
        return leaveOnClipboard(text, why);
    }
    keepInSelection(text);
    return why;
}

void SystemVoiceTextInjector::keepInSelection(const QString& text)
{
    // The words are never written to a log: the notice is where the user sees them.
    const QString body = common::text::prefixCharacters(text, 80);
    if (m_clipboard.setTransientText(ClipboardMode::Selection, text)) {
        onLog(QStringLiteral("⚠ Voice paste: the clipboard refused the text → left on the selection"), LogColor::Red);
        if (onNotify) {
            onNotify(QString::fromUtf8(inSelectionTitle), body);
        }
        return;
    }
    onLog(QStringLiteral("⚠ Voice paste: the clipboard and the selection refused the text → nothing copied"),
        LogColor::Red);
    if (onNotify) {
        onNotify(QString::fromUtf8(notCopiedTitle), body);
    }
}

std::optional<platform::WindowInfo> SystemVoiceTextInjector::targetWindow(const FocusTarget& target) const
{
    if (!target.windowId) {
        return m_windows.activeWindow();
    }
    for (const platform::WindowInfo& window : m_windows.windows()) {
        if (window.id == *target.windowId) {
            return window;
        }
    }
    return std::nullopt;
}

QCoro::Task<bool> SystemVoiceTextInjector::modifiersReleased(quint64 paste)
{
    // Only objects the owner keeps for the whole run are touched after a wait, and this one only while it lives; the
    // caller checks both again.
    InputInjector& input = m_input;
    common::Clock& clock = m_clock;
    const std::weak_ptr<bool> alive = m_alive;
    for (qint64 waitedMs = 0; input.heldModifiers(); waitedMs += modifierPollMs) {
        if (waitedMs >= modifierWaitLimitMs) {
            co_return false;
        }
        common::OneShot<bool> tick;
        clock.schedule(modifierPollMs, [tick]() mutable { tick.fulfil(true); });
        co_await tick;
        if (alive.expired() || paste <= m_abandonedUpTo) {
            co_return true;
        }
    }
    co_return true;
}

QString SystemVoiceTextInjector::leaveOnClipboard(const QString& text, const QString& why)
{
    onLog(QStringLiteral("⚠ Voice paste: %1 → text left on the clipboard").arg(why), LogColor::Red);
    notifyOnClipboard(text);
    return why;
}

void SystemVoiceTextInjector::notifyOnClipboard(const QString& text)
{
    if (onNotify) {
        onNotify(QString::fromUtf8(noticeTitle), common::text::prefixCharacters(text, 80));
    }
}

} // namespace murmeli::voice
