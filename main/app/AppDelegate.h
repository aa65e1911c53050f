#pragma once

#include <functional>

#include <QObject>
#include <QString>
#include <QTimer>

#include "main/common/Log.h"
#include "main/settings/onboarding/OnboardingController.h"

namespace murmeli::app {

class AppController;
class ShellViews;

/// Process lifecycle: the start-up sequence, the one log sink's two outputs (standard error and the activity log
/// window), the application's notification observers, and the start of the back end once onboarding is done.
class AppDelegate final {
public:
    /// Bool: the first launch's welcome strip has been shown.
    static constexpr auto welcomeFlashedKey = "welcomeFlashed.v1";

    /// views are the windows the delegate opens; fontsFolder holds the interface's font files and is looked up
    /// beside binaryPath when empty.
    AppDelegate(AppController& controller, ShellViews& views, QString binaryPath, QString fontsFolder = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    /// Runs once the application's event loop runs: fonts, the activity log window, the onboarding gate, the
    /// notification observers, the log sink, "murmeli ready". The gate's completion follows on the next turn of the
    /// event loop, so the back end starts with its log already in place.
    void applicationDidFinishLaunching();

    /// Creates the panel with the cue output, flashes the welcome strip on the first launch, and starts the 2.0 s
    /// session poll; run once, by the onboarding gate's completion.
    void setupNotchPanel();
    /// Opens the activity log window.
    void openLogWindow();
    /// Opens the settings window.
    void showSettingsWindow();
    /// The manual update check. There is no update feed for this build, so it says so and logs it.
    void checkForUpdates();

private:
    void log(const QString& message, common::LogColor color);
    void registerFonts();
    settings::OnboardingController::ShowWindow onboardingWindows();
    void runOnboardingGate(std::function<void()> completion);
    void forceReopenOnboarding();
    void addNotificationObservers();
    void requestMicrophoneAccess();
    void wireControllerCallbacks();
    void validateCloudSessionOnLaunch();

    AppController& m_controller;
    ShellViews& m_views;
    QString m_binaryPath;
    QString m_fontsFolder;
    QString m_fontsLine;
    common::LogColor m_fontsLineColor = common::LogColor::Blue;
    bool m_panelSetUp = false;
    QTimer m_sessionPoll;
    QTimer m_syncSoon;
    // Receiver of the observers and of queued calls; everything queued on it dies with the delegate.
    QObject m_context;
};

} // namespace murmeli::app
