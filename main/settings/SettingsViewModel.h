#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "main/common/Log.h"
#include "main/settings/PTTHotkey.h"
#include "main/settings/SettingsSection.h"

namespace murmeli::platform {
class Defaults;
class LoginItem;
} // namespace murmeli::platform

namespace murmeli::settings {

/// The state every page of the settings window shares: the page shown, launch at login, three stored flags and the
/// custom push-to-talk hotkey. Each is loaded once when the model is made and written back the moment it changes,
/// only when it differs. Also performs "Reset all settings". Main thread only.
class SettingsViewModel final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsViewModel)

public:
    static constexpr auto selectedSectionKey = "settings.selectedSection";
    static constexpr auto launchAtLoginKey = "settings.general.launchAtLogin";
    static constexpr auto hideInFullscreenKey = "settings.general.hideInFullscreen";
    static constexpr auto autoHideWhenIdleKey = "settings.general.autoHideWhenIdle";
    static constexpr auto muteDuringFocusKey = "settings.sound.muteDuringFocus";
    static constexpr auto customPTTHotkeyKey = PTTHotkey::udKey;

    /// defaults and loginItem must outlive the model. The login item is the authority on launch at login; the
    /// stored key only mirrors it.
    SettingsViewModel(platform::Defaults& defaults, platform::LoginItem& loginItem, QObject* parent = nullptr);

    /// The page stored last; a retired one stays as stored until another page is chosen.
    SettingsSection selectedSection() const { return m_selectedSection; }
    void setSelectedSection(SettingsSection section);
    /// The current page that shows the selected section: a retired section gives the page that took it over.
    SettingsSection normalizedSection() const { return normalized(m_selectedSection); }
    void setNormalizedSection(SettingsSection section) { setSelectedSection(section); }
    static SettingsSection normalized(SettingsSection section);

    bool launchAtLogin() const { return m_launchAtLogin; }
    /// Registers or unregisters the autostart entry. When that fails the switch goes back to the entry's real state
    /// and launchAtLoginError() says why.
    void setLaunchAtLogin(bool enabled);
    /// Why the last change of launch at login failed; empty after one that worked.
    const QString& launchAtLoginError() const { return m_launchAtLoginError; }

    bool hideInFullscreen() const { return m_hideInFullscreen; }
    void setHideInFullscreen(bool value);
    bool autoHideWhenIdle() const { return m_autoHideWhenIdle; }
    void setAutoHideWhenIdle(bool value);
    bool muteDuringFocus() const { return m_muteDuringFocus; }
    void setMuteDuringFocus(bool value);

    const PTTHotkey& customPTTHotkey() const { return m_customPTTHotkey; }
    /// Saves a changed hotkey (an unbound one removes the key) and hands it to onCustomPTTHotkeyChanged.
    void setCustomPTTHotkey(const PTTHotkey& hotkey);
    /// A saved change of the hotkey; the settings window points it at the controller's key monitors.
    std::function<void(const PTTHotkey& hotkey)> onCustomPTTHotkeyChanged;

    /// Removes every key a reset removes (see PreferenceKeys), then puts the model's fields back to their defaults
    /// through their own change handlers: General page, flags off, hotkey unbound, launch at login off.
    void resetAllSettings();

    /// A failed change of launch at login, for the activity log.
    common::LogSink onLog;

Q_SIGNALS:
    void selectedSectionChanged();
    void launchAtLoginChanged();
    void flagsChanged();
    void customPTTHotkeyChanged();

private:
    void storeBool(const char* key, bool value);
    void setFlag(bool& field, const char* key, bool value);

    platform::Defaults& m_defaults;
    platform::LoginItem& m_loginItem;
    SettingsSection m_selectedSection = SettingsSection::General;
    bool m_launchAtLogin = false;
    QString m_launchAtLoginError;
    bool m_hideInFullscreen = false;
    bool m_autoHideWhenIdle = false;
    bool m_muteDuringFocus = false;
    PTTHotkey m_customPTTHotkey;
};

} // namespace murmeli::settings
