#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "main/common/Log.h"

namespace murmeli::device {
class AudioCueOutput;
}

namespace murmeli::app {

class AppController;

/// The delegate's windows. The delegate reaches them only through this face, so it stays free of Qt Widgets; the
/// executable hands it the widget implementation. Called on the main thread only.
class ShellViews {
public:
    ShellViews() = default;
    virtual ~ShellViews() = default;
    ShellViews(const ShellViews&) = delete;
    ShellViews& operator=(const ShellViews&) = delete;

    /// Builds the activity log window, hidden; lines appended before that are not shown.
    virtual void buildActivityLog() = 0;
    /// Adds one line to the activity log window, which keeps the newest lines.
    virtual void appendLog(const QString& message, common::LogColor color) = 0;
    /// Shows the activity log window and brings it to the front.
    virtual void showActivityLog() = 0;
    /// Shows the one settings window over the controller's components, made on the first call, and brings it to the
    /// front.
    virtual void showSettings(AppController& controller) = 0;
    /// Shows a new onboarding window over the controller's preferences, marked as a reopening or as the first run;
    /// onClose runs once when it closes, whatever closed it. Where no window can be shown, onClose runs at once.
    virtual void showOnboarding(AppController& controller, bool isReopen, std::function<void()> onClose) = 0;
    /// Shows the notch panel over the controller's view model, playing its cues through cue, and with flashWelcome
    /// runs the welcome strip once. The panel is made on the first call and then stays; later calls do nothing.
    virtual void showNotchPanel(
        AppController& controller, std::shared_ptr<device::AudioCueOutput> cue, bool flashWelcome)
        = 0;
    /// Shows an informational message modally and returns at once; onDismissed runs once the user closed it.
    virtual void showInformation(
        const QString& message, const QString& informativeText, std::function<void()> onDismissed)
        = 0;
};

} // namespace murmeli::app
