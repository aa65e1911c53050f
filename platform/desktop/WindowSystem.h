#pragma once

#include <chrono>
#include <optional>

#include <QFuture>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace murmeli::platform {

/// A top-level window's number on the display.
using WindowId = quint64;

/// A top-level window as the window manager lists it.
struct WindowInfo final {
    WindowId id = 0;
    /// The two parts of the window's class: the instance ("xterm") and the class ("XTerm"); "" when unset.
    QString classInstance;
    QString className;
    /// The process that owns the window; absent when neither the window nor the display tells.
    std::optional<qint64> pid;
    QString title;

    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

/// Whether synthesised input reaches the other programs of this desktop.
struct InjectionSupport final {
    bool canInject = false;
    /// Why not ("Wayland session without X11", "the X server lacks the XTEST extension", ...); "" when it can.
    QString reason;

    friend bool operator==(const InjectionSupport&, const InjectionSupport&) = default;
};

/// The desktop's top-level windows: which one is active, which process owns each, and bringing one to the front.
/// Main thread only; never throws.
class WindowSystem {
public:
    WindowSystem() = default;
    virtual ~WindowSystem() = default;
    Q_DISABLE_COPY_MOVE(WindowSystem)

    /// The window that has the focus now; absent when none has or the desktop cannot say.
    virtual std::optional<WindowInfo> activeWindow() const = 0;
    /// Every managed top-level window in the window manager's order (oldest first); empty when it lists none.
    virtual QList<WindowInfo> windows() const = 0;
    /// Asks the window manager to bring the window to the front and give it the focus. The future finishes on the
    /// main thread: true once the window is the active one, false when it is gone or the window manager did not make
    /// it active within timeout.
    virtual QFuture<bool> activate(WindowId id, std::chrono::milliseconds timeout) = 0;
    /// Whether keys sent with a KeyInjector reach the other programs, and why not.
    virtual InjectionSupport injectionSupport() const = 0;
};

} // namespace murmeli::platform
