#pragma once

#include "main/settings/views/SettingsEnvironment.h"
#include "main/ui/widgets/SettingsPage.h"

class QMessageBox;

namespace murmeli::ui {
class MenuPicker;
class SettingsRow;
class SettingsToggle;
}

namespace murmeli::settings {

class AccessibilityControl;
class HotkeyRecorder;
class SettingsHost;
class SettingsViewModel;

/// The General page: launch at login, the custom push-to-talk hotkey, the display that carries the panel, whether
/// murmeli may type into other windows, the interface language, the logs, and the danger zone that opens the
/// settings file or resets every preference. Controls carry object names for whoever drives them.
class GeneralPage final : public ui::SettingsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneralPage)

public:
    static constexpr auto startupHelp = "Open murmeli automatically after signing in.";

    /// host may be null: the display picker is then disabled and the accessibility state unavailable.
    GeneralPage(
        const SettingsEnvironment& environment, SettingsViewModel& vm, SettingsHost* host, QWidget* parent = nullptr);

    ui::SettingsRow* startupRow() const { return m_startupRow; }
    ui::SettingsToggle* launchAtLoginSwitch() const { return m_launchAtLogin; }
    HotkeyRecorder* hotkeyRecorder() const { return m_recorder; }
    ui::SettingsRow* displayRow() const { return m_displayRow; }
    ui::MenuPicker* displayPicker() const { return m_displayPicker; }
    ui::SettingsRow* accessibilityRow() const { return m_accessibilityRow; }
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
    ui::SettingsRow* m_startupRow = nullptr;
    ui::SettingsToggle* m_launchAtLogin = nullptr;
    HotkeyRecorder* m_recorder = nullptr;
    ui::SettingsRow* m_displayRow = nullptr;
    ui::MenuPicker* m_displayPicker = nullptr;
    ui::SettingsRow* m_accessibilityRow = nullptr;
    AccessibilityControl* m_accessibility = nullptr;
    QMessageBox* m_resetQuestion = nullptr;
};

} // namespace murmeli::settings
