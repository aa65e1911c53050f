#include "main/settings/SettingsSection.h"

#include <array>

namespace murmeli::settings {

namespace {

struct SectionRow {
    SettingsSection section;
    const char* rawValue;
    const char* title;
    const char* symbol;
    SettingsSectionGroup group;
};

using Group = SettingsSectionGroup;

constexpr std::array<SectionRow, 13> sectionRows { {
    { SettingsSection::Account, "account", "Account", "person.crop.circle", Group::Basic },
    { SettingsSection::General, "general", "General", "gearshape", Group::Basic },
    { SettingsSection::Integrations, "integrations", "Integrations", "puzzlepiece.extension", Group::Advanced },
    { SettingsSection::Stt, "stt", "STT", "waveform", Group::Basic },
    { SettingsSection::Audio, "audio", "Audio", "speaker.wave.2", Group::Basic },
    { SettingsSection::Lab, "lab", "Lab", "flask", Group::Advanced },
    { SettingsSection::About, "about", "About", "info.circle", Group::Info },
    { SettingsSection::Voice, "voice", "Voice", "mic", Group::Basic },
    { SettingsSection::Sound, "sound", "Sound", "speaker.wave.2", Group::Basic },
    { SettingsSection::Shortcuts, "shortcuts", "Shortcuts", "keyboard", Group::Advanced },
    { SettingsSection::Display, "display", "Display", "display", Group::Basic },
    { SettingsSection::Usage, "usage", "Usage", "chart.bar", Group::Info },
    { SettingsSection::Personalization, "personalization", "Personalization", "paintbrush", Group::Basic },
} };

const SectionRow& rowOf(SettingsSection section)
{
    return sectionRows.at(static_cast<std::size_t>(section));
}

struct GroupRow {
    SettingsSectionGroup group;
    const char* rawValue;
    const char* title;
};

constexpr std::array<GroupRow, 3> groupRows { {
    { Group::Basic, "basic", "BASIC" },
    { Group::Advanced, "advanced", "ADVANCED" },
    { Group::Info, "info", "INFO" },
} };

} // namespace

const QList<SettingsSection>& allSettingsSections()
{
    static const QList<SettingsSection> all = [] {
        QList<SettingsSection> result;
        for (const SectionRow& row : sectionRows) {
            result.append(row.section);
        }
        return result;
    }();
    return all;
}

const QList<SettingsSection>& currentSettingsSections()
{
    static const QList<SettingsSection> current = allSettingsSections().mid(0, 7);
    return current;
}

QString toString(SettingsSection section)
{
    return QString::fromLatin1(rowOf(section).rawValue);
}

std::optional<SettingsSection> settingsSectionFromString(const QString& text)
{
    for (const SectionRow& row : sectionRows) {
        if (text == QLatin1String(row.rawValue)) {
            return row.section;
        }
    }
    return std::nullopt;
}

QString title(SettingsSection section)
{
    return QString::fromLatin1(rowOf(section).title);
}

QString symbol(SettingsSection section)
{
    return QString::fromLatin1(rowOf(section).symbol);
}

SettingsSectionGroup group(SettingsSection section)
{
    return rowOf(section).group;
}

QString toString(SettingsSectionGroup group)
{
    return QString::fromLatin1(groupRows.at(static_cast<std::size_t>(group)).rawValue);
}

std::optional<SettingsSectionGroup> settingsSectionGroupFromString(const QString& text)
{
    for (const GroupRow& row : groupRows) {
        if (text == QLatin1String(row.rawValue)) {
            return row.group;
        }
    }
    return std::nullopt;
}

QString title(SettingsSectionGroup group)
{
    return QString::fromLatin1(groupRows.at(static_cast<std::size_t>(group)).title);
}

QList<SettingsSection> sections(SettingsSectionGroup group)
{
    QList<SettingsSection> result;
    for (const SectionRow& row : sectionRows) {
        if (row.group == group) {
            result.append(row.section);
        }
    }
    return result;
}

} // namespace murmeli::settings
