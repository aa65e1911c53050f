#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QtGlobal>

#include "platform/desktop/WindowSystem.h"

namespace murmeli::voice {

/// The window in front, asked through a replaceable provider so that detection runs without a display.
struct TerminalSessionProbe final {
    using WindowProvider = std::function<std::optional<platform::WindowInfo>()>;

    /// A probe of the window system's active window; the window system must outlive the probe.
    static TerminalSessionProbe of(const platform::WindowSystem& windows);

    /// The front window; absent when none has the focus or there is no provider.
    std::optional<platform::WindowInfo> frontmostWindow() const;
    /// The class half of the front window's WM_CLASS; absent without a front window or with an empty class.
    std::optional<QString> frontmostAppId() const;
    /// Whether the front window belongs to a catalogued terminal or editor.
    bool frontmostIsTerminal() const;
    /// The front window's class when it belongs to a catalogued terminal or editor.
    std::optional<QString> frontmostTerminalAppId() const;
    /// The process that owns the front window.
    std::optional<qint64> frontmostPID() const;

    WindowProvider windowProvider;
};

/// The class half of a window's WM_CLASS; absent when it is empty.
std::optional<QString> appIdOf(const platform::WindowInfo& window);

} // namespace murmeli::voice
