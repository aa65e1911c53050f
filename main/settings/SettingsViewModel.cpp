#include "main/settings/SettingsViewModel.h"

#include "main/settings/PreferenceKeys.h"
#include "platform/autostart/LoginItem.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings {

SettingsViewModel::SettingsViewModel(platform::Defaults& defaults, platform::LoginItem& loginItem, QObject* parent)
    : QObject(parent), m_defaults(defaults), m_loginItem(loginItem)
{
    const QString stored = m_defaults.stringValue(QString::fromLatin1(selectedSectionKey)).value_or(QString());
    m_selectedSection = settingsSectionFromString(stored).value_or(SettingsSection::General);

    m_launchAtLogin = m_loginItem.isEnabled();
    if (m_defaults.boolValue(QString::fromLatin1(launchAtLoginKey)).value_or(false) != m_launchAtLogin) {
        storeBool(launchAtLoginKey, m_launchAtLogin);
    }

    m_hideInFullscreen = m_defaults.boolValue(QString::fromLatin1(hideInFullscreenKey)).value_or(false);
    m_autoHideWhenIdle = m_defaults.boolValue(QString::fromLatin1(autoHideWhenIdleKey)).value_or(false);
    m_muteDuringFocus = m_defaults.boolValue(QString::fromLatin1(muteDuringFocusKey)).value_or(false);
    m_customPTTHotkey = PTTHotkey::loadFromDefaults(m_defaults);
}

SettingsSection SettingsViewModel::normalized(SettingsSection section)
{
    switch (section) {
    case SettingsSection::Voice:
    case SettingsSection::Sound:
        return SettingsSection::Audio;
    case SettingsSection::Shortcuts:
    case SettingsSection::Display:
        return SettingsSection::General;
    case SettingsSection::Usage:
        return SettingsSection::Integrations;
    case SettingsSection::Personalization:
        return SettingsSection::Stt;
    default:
        return section;
    }
}

void SettingsViewModel::setSelectedSection(SettingsSection section)
{
    if (section == m_selectedSection) {
        return;
    }
    m_selectedSection = section;
    m_defaults.setValue(QString::fromLatin1(selectedSectionKey), toString(section));
    Q_EMIT selectedSectionChanged();
}

void SettingsViewModel::setLaunchAtLogin(bool enabled)
{
    if (enabled == m_launchAtLogin) {
        return;
    }
    const std::optional<QString> failure = m_loginItem.setEnabled(enabled);
    // The entry is the truth: after a failure the switch shows what will really happen at the next sign-in.
    m_launchAtLogin = failure ? m_loginItem.isEnabled() : enabled;
    m_launchAtLoginError = failure ? *failure : QString();
    storeBool(launchAtLoginKey, m_launchAtLogin);
    if (failure && onLog) {
        onLog(QStringLiteral("murmeli: autostart toggle failed: ") + *failure, common::LogColor::Red);
    }
    Q_EMIT launchAtLoginChanged();
}

void SettingsViewModel::setHideInFullscreen(bool value)
{
    setFlag(m_hideInFullscreen, hideInFullscreenKey, value);
}

void SettingsViewModel::setAutoHideWhenIdle(bool value)
{
    setFlag(m_autoHideWhenIdle, autoHideWhenIdleKey, value);
}

void SettingsViewModel::setMuteDuringFocus(bool value)
{
    setFlag(m_muteDuringFocus, muteDuringFocusKey, value);
}

void SettingsViewModel::setCustomPTTHotkey(const PTTHotkey& hotkey)
{
    if (hotkey == m_customPTTHotkey) {
        return;
    }
    m_customPTTHotkey = hotkey;
    hotkey.saveToDefaults(m_defaults);
    Q_EMIT customPTTHotkeyChanged();
    if (onCustomPTTHotkeyChanged) {
        onCustomPTTHotkeyChanged(hotkey);
    }
}

void SettingsViewModel::resetAllSettings()
{
    for (const QString& key : PreferenceKeys::keysToReset(m_defaults.keys())) {
        m_defaults.remove(key);
    }
    setSelectedSection(SettingsSection::General);
    setHideInFullscreen(false);
    setAutoHideWhenIdle(false);
    setMuteDuringFocus(false);
    setCustomPTTHotkey(PTTHotkey::none());
    if (m_launchAtLogin) {
        setLaunchAtLogin(false);
    }
}

void SettingsViewModel::storeBool(const char* key, bool value)
{
    m_defaults.setValue(QString::fromLatin1(key), value);
}

void SettingsViewModel::setFlag(bool& field, const char* key, bool value)
{
    if (value == field) {
        return;
    }
    field = value;
    storeBool(key, value);
    Q_EMIT flagsChanged();
}

} // namespace murmeli::settings
