#pragma once

#include <memory>

#include "platform/desktop/ClipboardAccess.h"
#include "platform/desktop/FocusedElementProbe.h"
#include "platform/desktop/GlobalHotkeys.h"
#include "platform/desktop/KeyInjector.h"
#include "platform/desktop/WindowSystem.h"

namespace murmeli::platform {

/// The desktop facilities one process uses; one backend may serve several of them.
struct DesktopServices final {
    std::shared_ptr<GlobalHotkeys> hotkeys;
    std::shared_ptr<WindowSystem> windows;
    std::shared_ptr<KeyInjector> keys;
    std::shared_ptr<ClipboardAccess> clipboard;
    std::shared_ptr<FocusedElementProbe> focus;
};

/// The desktop of the running application: X11 when Qt runs on the xcb platform; elsewhere a desktop that says why
/// it cannot reach the other programs. The clipboard is Qt's wherever there is a QGuiApplication. Main thread only.
DesktopServices makeDesktopServices();

} // namespace murmeli::platform
