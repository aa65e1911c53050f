#pragma once

#include "main/settings/views/SettingsEnvironment.h"
#include "main/settings/views/widgets/SettingsPage.h"

class QMessageBox;

namespace murmeli::settings {

class AccessibilityControl;
class HotkeyRecorder;
class MenuPicker;
class SettingsHost;
class SettingsRow;
class SettingsToggle;
class SettingsViewModel;

/// The General page: launch at login, the custom push-to-talk hotkey, the display that carries the panel, whether
/// murmeli may type into other windows, the interface language, the logs, and the danger zone that opens the
/// settings file or resets every preference. Controls carry object names for whoever drives them.
class GeneralPage final : public SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneralPage)

public:
    static constexpr auto startupHelp = "Open murmeli automatically after signing in.";

    /// host may be null: the display picker is then disabled and the accessibility state unavailable.
    GeneralPage(
        const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent = nullptr);

    SettingsRow* startupRow() const { return m_startupRow; }
    SettingsToggle* launchAtLoginSwitch() const { return m_launchAtLogin; }
    HotkeyRecorder* hotkeyRecorder() const { return m_recorder; }
    SettingsRow* displayRow() const { return m_displayRow; }
    MenuPicker* displayPicker() const { return m_displayPicker; }
    SettingsRow* accessibilityRow() const { return m_accessibilityRow; }
    AccessibilityControl* accessibility() const { return m_accessibility; }
    /// The "Reset all settings?" question while it is up.
    QMessageBox* resetQuestion() const { return m_resetQuestion; }

private:
    void addStartupGroup();
    void addPttGroup();
    void addDisplayGroup();
    void addPermissionsGroup();
    void addLanguageGroup();
    void addLogsGroup();
    void addDangerZone();
    void showLaunchAtLogin();
    void showDisplayChoice();
    void displayChosen(int index);
    void confirmResetAll();

    SettingsEnvironment m_environment;
    SettingsViewModel& m_vm;
    SettingsHost* m_host = nullptr;
    SettingsRow* m_startupRow = nullptr;
    SettingsToggle* m_launchAtLogin = nullptr;
    HotkeyRecorder* m_recorder = nullptr;
    SettingsRow* m_displayRow = nullptr;
    MenuPicker* m_displayPicker = nullptr;
    SettingsRow* m_accessibilityRow = nullptr;
    AccessibilityControl* m_accessibility = nullptr;
    QMessageBox* m_resetQuestion = nullptr;
};

} // namespace murmeli::settings
