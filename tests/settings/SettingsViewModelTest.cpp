#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <QRegularExpression>
#include <QTemporaryDir>

#include "main/settings/SettingsViewModel.h"
#include "platform/autostart/fake/FakeLoginItem.h"
#include "platform/defaults/Defaults.h"

using namespace murmeli;
using settings::PTTHotkey;
using settings::SettingsSection;
using settings::SettingsViewModel;

namespace {

class SettingsViewModelTest : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    std::unique_ptr<platform::Defaults> m_defaults
        = std::make_unique<platform::Defaults>(m_dir.path() + QStringLiteral("/defaults.json"));
    platform::FakeLoginItem m_loginItem;

    platform::Defaults& defaults() { return *m_defaults; }
    std::optional<QString> storedSection() const
    {
        return m_defaults->stringValue(QStringLiteral("settings.selectedSection"));
    }
};

const PTTHotkey ctrlAltK { 0xC0000, 'k', QStringLiteral("Ctrl+Alt+K") };

} // namespace

// A first start: the General page, the flags off, no hotkey, and launch at login as the autostart entry says, with
// that mirrored into its key.
TEST_F(SettingsViewModelTest, AFirstStartTakesLaunchAtLoginFromTheAutostartEntry)
{
    m_loginItem.setEnabled(true);
    SettingsViewModel vm(defaults(), m_loginItem);
    EXPECT_EQ(vm.selectedSection(), SettingsSection::General);
    EXPECT_FALSE(vm.hideInFullscreen() || vm.autoHideWhenIdle() || vm.muteDuringFocus());
    EXPECT_FALSE(vm.customPTTHotkey().isBound());
    EXPECT_TRUE(vm.launchAtLogin());
    EXPECT_EQ(defaults().boolValue(QStringLiteral("settings.general.launchAtLogin")), true);
    EXPECT_EQ(storedSection(), std::nullopt) << "loading writes no page";
}

// Stored pages of retired layouts open the page that took them over and stay stored until a row is chosen; text that
// names no page, whatever its case, opens General.
TEST_F(SettingsViewModelTest, RetiredAndUnknownStoredPagesOpenTheirCurrentPage)
{
    struct Row {
        const char* stored;
        SettingsSection shown;
    };
    const Row rows[] = {
        { "sound", SettingsSection::Audio },
        { "voice", SettingsSection::Audio },
        { "shortcuts", SettingsSection::General },
        { "display", SettingsSection::General },
        { "usage", SettingsSection::Integrations },
        { "personalization", SettingsSection::Stt },
        { "stt", SettingsSection::Stt },
        { "Lab", SettingsSection::General },
        { "settings.general", SettingsSection::General },
        { "", SettingsSection::General },
    };
    for (const Row& row : rows) {
        defaults().setValue(
            QStringLiteral("settings.selectedSection"), QString::fromLatin1(row.stored));
        SettingsViewModel vm(defaults(), m_loginItem);
        EXPECT_EQ(vm.normalizedSection(), row.shown) << row.stored;
    }
    defaults().setValue(QStringLiteral("settings.selectedSection"), QStringLiteral("sound"));
    SettingsViewModel vm(defaults(), m_loginItem);
    EXPECT_EQ(storedSection(), QStringLiteral("sound"));
    vm.setNormalizedSection(SettingsSection::Audio);
    EXPECT_EQ(storedSection(), QStringLiteral("audio"));
}

// A hotkey is saved and handed on only when it changed; an equal one does neither.
TEST_F(SettingsViewModelTest, OnlyAChangedHotkeyIsSavedAndHandedOn)
{
    SettingsViewModel vm(defaults(), m_loginItem);
    std::vector<PTTHotkey> handed;
    vm.onCustomPTTHotkeyChanged = [&](const PTTHotkey& hotkey) { handed.push_back(hotkey); };
    vm.setCustomPTTHotkey(ctrlAltK);
    vm.setCustomPTTHotkey(ctrlAltK);
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(PTTHotkey::loadFromDefaults(defaults()), ctrlAltK);

    defaults().remove(QStringLiteral("settings.shortcuts.customPTTHotkey"));
    vm.setCustomPTTHotkey(ctrlAltK);
    EXPECT_FALSE(defaults().contains(QStringLiteral("settings.shortcuts.customPTTHotkey"))) << "an equal value is not saved again";
    EXPECT_EQ(SettingsViewModel(defaults(), m_loginItem).customPTTHotkey(), PTTHotkey::none());
}

// A change the autostart entry refuses puts the switch back where the entry really is and says why; the next
// change that works clears the reason.
TEST_F(SettingsViewModelTest, ARefusedLaunchAtLoginChangeGoesBackToTheRealState)
{
    SettingsViewModel vm(defaults(), m_loginItem);
    QStringList logged;
    vm.onLog = [&](const QString& line, common::LogColor) { logged.append(line); };
    int changes = 0;
    QObject::connect(&vm, &SettingsViewModel::launchAtLoginChanged, [&] { ++changes; });

    m_loginItem.failure = QStringLiteral("could not write ~/.config/autostart/murmeli.desktop: Permission denied");
    vm.setLaunchAtLogin(true);
    EXPECT_FALSE(vm.launchAtLogin());
    EXPECT_EQ(vm.launchAtLoginError(), *m_loginItem.failure);
    EXPECT_EQ(defaults().boolValue(QStringLiteral("settings.general.launchAtLogin")), false);
    EXPECT_EQ(changes, 1) << "the page must redraw the switch it had moved";
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.first().endsWith(*m_loginItem.failure));

    m_loginItem.failure.reset();
    vm.setLaunchAtLogin(true);
    EXPECT_TRUE(vm.launchAtLogin());
    EXPECT_TRUE(m_loginItem.isEnabled());
    EXPECT_TRUE(vm.launchAtLoginError().isEmpty());
}

// Reset from the General page with nothing on leaves no "settings." key; from another page with a flag on, only
// what the handlers store back; launch at login on is turned off and unregistered, off is not touched; a bound hotkey
// is handed on as unbound, so the key monitors go.
TEST_F(SettingsViewModelTest, ResetPutsTheModelBackThroughItsOwnHandlers)
{
    defaults().setValue(QStringLiteral("settings.voice.preferStreaming"), false);
    {
        SettingsViewModel vm(defaults(), m_loginItem);
        vm.resetAllSettings();
        EXPECT_TRUE(defaults().keys().filter(QRegularExpression(QStringLiteral("^settings\\."))).isEmpty())
            << defaults().keys().join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(m_loginItem.changeRequests, 0);
    }

    SettingsViewModel vm(defaults(), m_loginItem);
    vm.setSelectedSection(SettingsSection::About);
    vm.setMuteDuringFocus(true);
    vm.setLaunchAtLogin(true);
    vm.setCustomPTTHotkey(ctrlAltK);
    std::vector<PTTHotkey> handed;
    vm.onCustomPTTHotkeyChanged = [&](const PTTHotkey& hotkey) { handed.push_back(hotkey); };
    vm.resetAllSettings();
    // Each handler that changed its field wrote the default back.
    EXPECT_EQ(defaults().keys().filter(QRegularExpression(QStringLiteral("^settings\\."))).join(QLatin1Char(' ')),
        QStringLiteral("settings.general.launchAtLogin settings.selectedSection settings.sound.muteDuringFocus"));
    EXPECT_EQ(storedSection(), QStringLiteral("general"));
    EXPECT_EQ(defaults().boolValue(QStringLiteral("settings.general.launchAtLogin")), false);
    EXPECT_FALSE(m_loginItem.isEnabled());
    EXPECT_FALSE(vm.muteDuringFocus());
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_FALSE(handed.front().isBound());
}
