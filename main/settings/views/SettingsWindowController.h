#pragma once

#include <memory>

#include <QMargins>
#include <QSize>
#include <QWidget>

#include "main/settings/SettingsViewModel.h"
#include "main/settings/views/SettingsEnvironment.h"

namespace murmeli::settings {

class SettingsHost;
class SettingsRootView;

/// The one settings window: built once, kept for the life of the process (closing, by its button, Esc or Ctrl+W, only
/// hides it), brought to the front on every request. It owns the model every page shares and hands hotkey changes to
/// the host. The window has a fixed size where the screen has room for it; on a smaller screen it shrinks to the
/// screen's free area below murmeli's strip, title bar and all, and the page scrolls.
class SettingsWindowController final {
public:
    static constexpr QSize fixedSize { 870, 720 };
    static constexpr auto windowTitle = "Settings";
    /// How long after it is asked for the window has to be on the screen before the log says it is not.
    static constexpr int comeUpMs = 3000;

    /// host may be null: hotkey changes are then only saved and the pages show their unavailable states. vm is made
    /// when none is given.
    SettingsWindowController(
        SettingsEnvironment environment, SettingsHost* host, std::unique_ptr<SettingsViewModel> vm = {});
    ~SettingsWindowController();
    SettingsWindowController(const SettingsWindowController&) = delete;
    SettingsWindowController& operator=(const SettingsWindowController&) = delete;

    /// Shows the window at its fixed size, or what fits of it, and brings it to the front, or the sheet open over
    /// it; never a second window, never re-centred, moved only as far as keeps it on the screen. The log says so when
    /// the desktop has not shown it comeUpMs later.
    void present();

    SettingsViewModel& viewModel() { return *m_vm; }
    QWidget& window() { return *m_window; }
    SettingsRootView& rootView() { return *m_rootView; }

private:
    /// Sizes the window to wanted, or what of it fits on its screen's free area, and moves it inside that area where
    /// it is not.
    void fitToScreen(QSize wanted);
    /// The top band of the window's screen that the strip takes, when the strip stands on that screen.
    QMargins underStrip() const;

    SettingsEnvironment m_environment;
    std::unique_ptr<SettingsViewModel> m_vm;
    std::unique_ptr<QWidget> m_window;
    SettingsRootView* m_rootView = nullptr;
    /// How often the window was asked for: only the last ask's wait speaks.
    quint64 m_asked = 0;
};

} // namespace murmeli::settings
