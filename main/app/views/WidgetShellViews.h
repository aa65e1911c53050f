#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QPointer>

#include "main/app/shell/ShellViews.h"
#include "main/settings/onboarding/PermissionProbe.h"

namespace murmeli::platform {
class AudioCapture;
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
class OnboardingWindow;
class SettingsWindowController;
} // namespace murmeli::settings

namespace murmeli::app {

class ActivityLogWindow;
class ControllerAccountHost;
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
    void showOnboarding(AppController& controller, bool isReopen, std::function<void()> onClose) override;
    void showNotchPanel(
        AppController& controller, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome) override;
    void showInformation(
        const QString& message, const QString& informativeText, std::function<void()> onDismissed) override;

    ActivityLogWindow* activityLog() const { return m_activityLog.get(); }
    /// Null until the settings were first shown.
    settings::SettingsWindowController* settingsWindow() const { return m_settingsWindow.get(); }
    ControllerSettingsHost* settingsHost() const { return m_settingsHost.get(); }
    /// The onboarding windows still open, oldest first.
    std::vector<settings::OnboardingWindow*> onboardingWindows() const;
    /// Null until the panel was first shown.
    notch::NotchPanelController* notchPanel() const { return m_panel.get(); }

private:
    settings::PermissionSources permissionSources(AppController& controller);
    platform::ScreenProvider& screens();

    std::unique_ptr<ActivityLogWindow> m_activityLog;
    // The settings window and what it stands on; the window goes first.
    std::unique_ptr<platform::LoginItem> m_loginItem;
    std::unique_ptr<platform::ScreenProvider> m_screens;
    std::unique_ptr<ControllerSettingsHost> m_settingsHost;
    std::unique_ptr<ControllerAccountHost> m_accountHost;
    std::unique_ptr<settings::SettingsWindowController> m_settingsWindow;
    // Asked only whether a capture device exists.
    std::unique_ptr<platform::AudioCapture> m_microphone;
    std::vector<QPointer<settings::OnboardingWindow>> m_onboardingWindows;
    // The panel and what it stands on; the panel goes first.
    std::unique_ptr<platform::OverlayServices> m_overlay;
    std::shared_ptr<platform::GlobalHotkeys> m_hotkeys;
    std::unique_ptr<notch::NotchPanelController> m_panel;
    std::shared_ptr<platform::WindowSystem> m_windows;
    std::unique_ptr<notch::VisualLinkController> m_visualLink;
    AppController* m_linkedController = nullptr;
};

} // namespace murmeli::app
