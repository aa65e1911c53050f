#pragma once

#include <map>
#include <optional>

#include <QFuture>
#include <QList>
#include <QStringList>

#include "platform/desktop/ClipboardAccess.h"
#include "platform/desktop/FocusedElementProbe.h"
#include "platform/desktop/GlobalHotkeys.h"
#include "platform/desktop/KeyInjector.h"
#include "platform/desktop/WindowSystem.h"

namespace murmeli::platform {

/// A desktop for tests: windows, keys, the clipboard and the focused element are set by the test, and everything
/// murmeli does to them is recorded, in order, in events(). Nothing reaches a display.
class FakeDesktop final : public GlobalHotkeys,
                          public WindowSystem,
                          public KeyInjector,
                          public ClipboardAccess,
                          public FocusedElementProbe {
public:
    /// A chord sent with sendChord(), with what a paste would have found at that moment.
    struct SentChord final {
        KeyChord chord;
        std::optional<WindowId> activeWindow;
        QString clipboardText;
        QString selectionText;
        /// Modifiers the user held as it went out: they arrive added to the chord.
        KeyModifiers heldModifiers;

        friend bool operator==(const SentChord&, const SentChord&) = default;
    };

    /// How the fake window manager answers activate().
    enum class WindowManager {
        Activates, ///< the window becomes the active one and the future finishes with true
        Ignores, ///< nothing changes and the future finishes with false, as after the time-out
    };

    FakeDesktop() = default;

    // GlobalHotkeys
    HotkeyGrab grab(const KeyChord& chord) override;
    void ungrab(HotkeyId id) override;
    /// Whether chord is grabbed now.
    bool isGrabbed(const KeyChord& chord) const;
    /// The next grab of chord fails with error.
    void refuseGrab(const KeyChord& chord, const QString& error)
    {
        m_refusedGrabs.insert_or_assign(chord.keysym, error);
    }
    /// The user presses or releases chord: the callback of its grab is called; false when it is not grabbed (the key
    /// then went to the focused window).
    bool press(const KeyChord& chord);
    bool release(const KeyChord& chord);

    // WindowSystem
    std::optional<WindowInfo> activeWindow() const override;
    QList<WindowInfo> windows() const override { return m_windows; }
    QFuture<bool> activate(WindowId id, std::chrono::milliseconds timeout) override;
    InjectionSupport injectionSupport() const override { return m_injection; }
    /// Adds a window, or replaces the one with the same id.
    void addWindow(const WindowInfo& window);
    void removeWindow(WindowId id);
    /// The user focuses the window; absent: no window has the focus.
    void setActiveWindow(std::optional<WindowId> id) { m_active = id; }
    void setWindowManager(WindowManager answer) { m_windowManager = answer; }
    void setInjectionSupport(const InjectionSupport& support) { m_injection = support; }
    /// The windows activate() was asked for, in order.
    const QList<WindowId>& activationRequests() const { return m_activations; }

    // KeyInjector
    bool sendChord(const KeyChord& chord) override;
    KeyModifiers heldModifiers() const override { return m_heldModifiers; }
    /// The user holds these modifier keys down (or lets them go).
    void setHeldModifiers(KeyModifiers modifiers) { m_heldModifiers = modifiers; }
    const QList<SentChord>& sentChords() const { return m_sent; }

    // ClipboardAccess
    ClipboardContent snapshot(ClipboardMode mode) override;
    bool restore(ClipboardMode mode, const QList<ClipboardItem>& items) override;
    bool setText(const QString& text) override;
    bool setTransientText(ClipboardMode mode, const QString& text) override;
    quint64 changeCount(ClipboardMode mode) const override { return m_selections[index(mode)].changeCount; }
    /// Whether writes take the clipboard (the default) or leave it as it is and report false, as when another
    /// program's newer copy wins.
    void setClipboardWritable(bool writable) { m_writable[0] = m_writable[1] = writable; }
    /// The same for one selection only.
    void setWritable(ClipboardMode mode, bool writable) { m_writable[index(mode)] = writable; }
    /// Whether the selection's owner answers a snapshot (the default) or lets it run out of time, as a program that
    /// hangs does: the snapshot then comes back incomplete and empty.
    void setOwnerAnswers(ClipboardMode mode, bool answers) { m_ownerAnswers[index(mode)] = answers; }
    /// Another program takes the selection with these items.
    void copyFromOtherProgram(ClipboardMode mode, const QList<ClipboardItem>& items);
    /// What the selection offers now.
    const QList<ClipboardItem>& items(ClipboardMode mode) const { return m_selections[index(mode)].items; }
    /// The selection's plain text; "" when it offers none.
    QString text(ClipboardMode mode) const;

    // FocusedElementProbe
    bool isAvailable() const override { return m_probeAvailable; }
    std::optional<FocusedElement> focusedElement(qint64 pid) override;
    void setProbeAvailable(bool available) { m_probeAvailable = available; }
    /// The element the process has focused; absent: the process exposes none.
    void setFocusedElement(qint64 pid, std::optional<FocusedElement> element);

    /// Everything done to the desktop, in order: "grab ...", "ungrab ...", "activate 0x...", "chord ...",
    /// "clipboard ...", "selection ...".
    const QStringList& events() const { return m_events; }
    void clearEvents() { m_events.clear(); }

    /// The text/plain item that setText() writes.
    static ClipboardItem plainText(const QString& text);
    /// The item that marks content as not to be kept by clipboard managers.
    static ClipboardItem transientHint();

private:
    struct Grab final {
        HotkeyId id = 0;
        KeyChord chord;
    };
    struct Selection final {
        QList<ClipboardItem> items;
        quint64 changeCount = 0;
    };

    static int index(ClipboardMode mode) { return mode == ClipboardMode::Clipboard ? 0 : 1; }
    static QString modeName(ClipboardMode mode);
    const Grab* findGrab(const KeyChord& chord) const;
    bool write(ClipboardMode mode, const QList<ClipboardItem>& items, const QString& how);
    void replace(ClipboardMode mode, const QList<ClipboardItem>& items, const QString& how);

    QList<Grab> m_grabs;
    HotkeyId m_nextId = 1;
    std::map<quint32, QString> m_refusedGrabs; // by keysym

    QList<WindowInfo> m_windows;
    std::optional<WindowId> m_active;
    WindowManager m_windowManager = WindowManager::Activates;
    InjectionSupport m_injection { true, {} };
    QList<WindowId> m_activations;

    QList<SentChord> m_sent;
    KeyModifiers m_heldModifiers;
    Selection m_selections[2];

    bool m_writable[2] = { true, true };
    bool m_ownerAnswers[2] = { true, true };
    bool m_probeAvailable = true;
    std::map<qint64, FocusedElement> m_focused;

    QStringList m_events;
};

} // namespace murmeli::platform
