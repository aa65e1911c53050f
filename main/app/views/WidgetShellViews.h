#pragma once

#include <memory>

#include "main/app/shell/ShellViews.h"

namespace murmeli::platform {
class GlobalHotkeys;
class LoginItem;
class WindowSystem;
class ScreenProvider;
struct OverlayServices;
} // namespace murmeli::platform

namespace murmeli::notch {
class NotchPanelController;
class VisualLinkController;
} // namespace murmeli::notch

namespace murmeli::settings {
class SettingsWindowController;
}

namespace murmeli::app {

class ActivityLogWindow;
class ControllerSettingsHost;

/// The delegate's windows as Qt Widgets.
class WidgetShellViews final : public ShellViews {
public:
    WidgetShellViews();
    ~WidgetShellViews() override;

    void buildActivityLog() override;
    void appendLog(const QString& message, common::LogColor color) override;
    void showActivityLog() override;
    void showSettings(AppController& controller) override;
    void showNotchPanel(
        AppController& controller, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome) override;
    void showInformation(
        const QString& message, const QString& informativeText, std::function<void()> onDismissed) override;

    ActivityLogWindow* activityLog() const { return m_activityLog.get(); }
    /// Null until the settings were first shown.
    settings::SettingsWindowController* settingsWindow() const { return m_settingsWindow.get(); }
    ControllerSettingsHost* settingsHost() const { return m_settingsHost.get(); }
    /// Null until the panel was first shown.
    notch::NotchPanelController* notchPanel() const { return m_panel.get(); }

private:
    platform::ScreenProvider& screens();

    std::unique_ptr<ActivityLogWindow> m_activityLog;
    // The settings window and what it stands on; the window goes first.
    std::unique_ptr<platform::LoginItem> m_loginItem;
    std::unique_ptr<platform::ScreenProvider> m_screens;
    std::unique_ptr<ControllerSettingsHost> m_settingsHost;
    std::unique_ptr<settings::SettingsWindowController> m_settingsWindow;
    // The panel and what it stands on; the panel goes first.
    std::unique_ptr<platform::OverlayServices> m_overlay;
    std::shared_ptr<platform::GlobalHotkeys> m_hotkeys;
    std::unique_ptr<notch::NotchPanelController> m_panel;
    std::shared_ptr<platform::WindowSystem> m_windows;
    std::unique_ptr<notch::VisualLinkController> m_visualLink;
    AppController* m_linkedController = nullptr;
};

} // namespace murmeli::app
