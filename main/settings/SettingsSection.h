#pragma once

#include <optional>

#include <QList>
#include <QString>

namespace murmeli::settings {

/// The pages of the settings window. The last six are retired layouts kept so that an older stored page still
/// decodes; the view model shows each on the current page that took over its content.
enum class SettingsSection {
    Account,
    General,
    Integrations,
    Stt,
    Audio,
    Lab,
    About,
    Voice,
    Sound,
    Shortcuts,
    Display,
    Usage,
    Personalization,
};

/// The class a page belongs to; no view shows it.
enum class SettingsSectionGroup { Basic, Advanced, Info };

/// All thirteen sections, current ones first, in declaration order.
const QList<SettingsSection>& allSettingsSections();
/// The seven pages the sidebar lists, Account to About.
const QList<SettingsSection>& currentSettingsSections();

/// The raw value stored in the preferences: the case name in lower camel case ("stt", "personalization").
QString toString(SettingsSection section);
/// The section whose raw value is exactly text (case-sensitive); absent for anything else, "" included.
std::optional<SettingsSection> settingsSectionFromString(const QString& text);
/// The title shown in the sidebar.
QString title(SettingsSection section);
/// The name of the section's symbol.
QString symbol(SettingsSection section);
SettingsSectionGroup group(SettingsSection section);

QString toString(SettingsSectionGroup group);
std::optional<SettingsSectionGroup> settingsSectionGroupFromString(const QString& text);
/// "BASIC", "ADVANCED" or "INFO".
QString title(SettingsSectionGroup group);
/// The sections of the group, in declaration order.
QList<SettingsSection> sections(SettingsSectionGroup group);

} // namespace murmeli::settings
