#pragma once

#include "platform/desktop/ClipboardAccess.h"
#include "platform/desktop/FocusedElementProbe.h"
#include "platform/desktop/GlobalHotkeys.h"
#include "platform/desktop/KeyInjector.h"
#include "platform/desktop/WindowSystem.h"

namespace murmeli::platform {

/// The desktop where murmeli cannot reach the other programs (no X display, a Wayland session, no GUI at all):
/// every grab fails with the reason, no window is known, no key goes out, and the clipboard stays empty.
class UnavailableDesktop final : public GlobalHotkeys,
                                 public WindowSystem,
                                 public KeyInjector,
                                 public ClipboardAccess,
                                 public FocusedElementProbe {
public:
    explicit UnavailableDesktop(QString reason) : m_reason(std::move(reason)) { }

    HotkeyGrab grab(const KeyChord& /*chord*/) override { return { std::nullopt, m_reason }; }
    void ungrab(HotkeyId /*id*/) override { }

    std::optional<WindowInfo> activeWindow() const override { return std::nullopt; }
    QList<WindowInfo> windows() const override { return {}; }
    QFuture<bool> activate(WindowId id, std::chrono::milliseconds timeout) override;
    InjectionSupport injectionSupport() const override { return { false, m_reason }; }

    bool sendChord(const KeyChord& /*chord*/) override { return false; }
    KeyModifiers heldModifiers() const override { return {}; }

    ClipboardContent snapshot(ClipboardMode /*mode*/) override { return {}; }
    bool restore(ClipboardMode /*mode*/, const QList<ClipboardItem>& /*items*/) override { return false; }
    bool setText(const QString& /*text*/) override { return false; }
    bool setTransientText(ClipboardMode /*mode*/, const QString& /*text*/) override { return false; }
    quint64 changeCount(ClipboardMode /*mode*/) const override { return 0; }

    bool isAvailable() const override { return false; }
    std::optional<FocusedElement> focusedElement(qint64 /*pid*/) override { return std::nullopt; }

private:
    QString m_reason;
};

} // namespace murmeli::platform
