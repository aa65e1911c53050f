#pragma once

#include <QString>

namespace murmeli::platform {
class WindowSystem;
}

namespace murmeli::voice {

/// Whether murmeli may paste into other programs here: the display must take synthesised keys (an X display with
/// the XTEST extension; a Wayland session without X11 takes none). Asked afresh on every call, never prompts.
class AXHealth final {
public:
    /// The window system must outlive this object.
    explicit AXHealth(const platform::WindowSystem& windows);

    /// Whether synthesised keys reach the other programs of this desktop now.
    bool isTrusted() const;

    /// One diagnostic line: "can inject here", or "cannot inject here: " and the display's reason.
    QString selfDescribe() const;

private:
    const platform::WindowSystem& m_windows;
};

} // namespace murmeli::voice
