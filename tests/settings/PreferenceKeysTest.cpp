#include <gtest/gtest.h>

#include <functional>
#include <set>

#include <QTemporaryDir>

#include "main/device/link/BLEBridge.h"
#include "main/device/tts/TTSEngine.h"
#include "main/hooks/status/TokenStore.h"
#include "main/notch/geometry/DisplayPreference.h"
#include "main/notch/geometry/NotchScreenPreference.h"
#include "main/settings/PreferenceKeys.h"
#include "main/settings/SettingsViewModel.h"
#include "main/settings/onboarding/OnboardingController.h"
#include "main/settings/onboarding/PermissionProbe.h"
#include "main/usage/CodexBarUsageReader.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "main/voice/preferences/LocaleNormalizer.h"
#include "main/voice/preferences/SpeechSettings.h"
#include "main/voice/streaming/CloudSocketSession.h"
#include "platform/autostart/fake/FakeLoginItem.h"
#include "platform/defaults/Defaults.h"

using namespace murmeli;
using settings::PreferenceKey;
namespace PreferenceKeys = settings::PreferenceKeys;

namespace {

std::set<QString> tableKeys(const std::function<bool(const PreferenceKey&)>& where = {})
{
    std::set<QString> keys;
    for (const PreferenceKey& row : PreferenceKeys::all()) {
        if (!where || where(row)) {
            keys.insert(QString::fromLatin1(row.key));
        }
    }
    return keys;
}

const PreferenceKey& rowOf(const char* key)
{
    for (const PreferenceKey& row : PreferenceKeys::all()) {
        if (QLatin1String(row.key) == QLatin1String(key)) {
            return row;
        }
    }
    throw std::out_of_range(key);
}

} // namespace

// Each key stays a constant of the type that uses it; the table must name every one of them, once.
TEST(PreferenceKeysTest, TheTableNamesEveryOwnersKeyOnce)
{
    const char* owners[] = {
        settings::SettingsViewModel::selectedSectionKey,
        settings::SettingsViewModel::launchAtLoginKey,
        settings::SettingsViewModel::hideInFullscreenKey,
        settings::SettingsViewModel::autoHideWhenIdleKey,
        settings::SettingsViewModel::muteDuringFocusKey,
        settings::SettingsViewModel::customPTTHotkeyKey,
        notch::displayPreferenceUdKey,
        notch::NotchScreenPreference::udKey,
        device::BLEBridge::enabledUDKey,
        usage::CodexBarUsageReader::enabledUDKey,
        usage::CodexBarUsageReader::pollMinutesUDKey,
        usage::CodexBarUsageReader::cliCommandsUDKey,
        usage::CodexBarUsageReader::legacyCLICommandUDKey,
        voice::SpeechEnhancerConfig::aiOptimizationKey,
        voice::SpeechSettings::preferStreamingKey,
        voice::SpeechSettings::customHotwordsKey,
        voice::LocaleNormalizer::userDefaultsKey,
        voice::SpeechSettings::retiredBackendMigratedKey,
        voice::SpeechSettings::backendIdKey,
        voice::SpeechSettings::micSourceKey,
        voice::SpeechSettings::enterModeKey,
        voice::CloudSocketSession::proxyHostKey,
        voice::CloudSocketSession::proxyPortKey,
        device::TTSEngine::enabledUDKey,
        device::TTSEngine::mutedUDKey,
        device::TTSEngine::backendUDKey,
        hooks::TokenStore::cumulativeKey,
        hooks::TokenStore::todayKey,
        hooks::TokenStore::todayDateKey,
        settings::PermissionProbe::axEverPromptedKey,
        settings::OnboardingController::completedKey,
    };
    const std::set<QString> keys = tableKeys();
    EXPECT_EQ(keys.size(), PreferenceKeys::all().size()) << "a key is listed twice";
    for (const char* key : owners) {
        EXPECT_EQ(keys.count(QString::fromLatin1(key)), 1u) << key;
    }
}

// What a fresh store reads as, through each owner's own reader, is what the table says a missing key means.
TEST(PreferenceKeysTest, OwnersReadAMissingKeyAsTheTableSays)
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.path() + QStringLiteral("/defaults.json"));
    voice::SpeechSettings speech(defaults);
    device::TTSEngine tts(defaults);
    platform::FakeLoginItem loginItem;
    settings::SettingsViewModel vm(defaults, loginItem);
    struct Row {
        const char* key;
        std::function<QString()> read;
    };
    const auto text = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    const Row rows[] = {
        { "settings.selectedSection", [&] { return settings::toString(vm.selectedSection()); } },
        { "settings.sound.muteDuringFocus", [&] { return text(vm.muteDuringFocus()); } },
        { "settings.display.preference",
            [&] { return notch::toString(notch::displayPreferenceFromUserDefaults(defaults)); } },
        { "lab.codexbar.poll_minutes",
            [&] { return QString::number(usage::CodexBarUsageReader::pollMinutesFromUDOrDefault(defaults)); } },
        { "settings.voice.aiOptimization",
            [&] { return text(voice::SpeechEnhancerConfig::isAIOptimizationEnabled(defaults)); } },
        { "settings.voice.preferStreaming", [&] { return text(speech.preferStreaming()); } },
        { "speechBackendId", [&] { return speech.activeBackendId(); } },
        { "micSource", [&] { return speech.activeMicSource(); } },
        { "enterMode", [&] { return voice::toString(speech.enterMode()); } },
        { "ttsBackend", [&] { return tts.activeBackendId(); } },
        { "ttsEnabled", [&] { return text(tts.isEnabled()); } },
    };
    for (const Row& row : rows) {
        const QString expected = QString::fromLatin1(rowOf(row.key).whenMissing).section(QLatin1Char(' '), 0, 0);
        EXPECT_EQ(row.read(), expected) << row.key;
    }
    EXPECT_TRUE(speech.customHotwords().isEmpty());
    EXPECT_FALSE(settings::PTTHotkey::loadFromDefaults(defaults).isBound());
}

// "Reset all settings" over a store holding every key of the table and two unknown ones removes exactly the rows
// the table marks and the unknown "settings." key; the speech choices outside the prefix stay.
TEST(PreferenceKeysTest, ResetRemovesExactlyTheMarkedKeys)
{
    QTemporaryDir dir;
    platform::Defaults defaults(dir.path() + QStringLiteral("/defaults.json"));
    for (const PreferenceKey& row : PreferenceKeys::all()) {
        defaults.setValue(QString::fromLatin1(row.key), QStringLiteral("stored"));
    }
    defaults.setValue(QStringLiteral("settings.selectedSection"), QStringLiteral("general"));
    defaults.setValue(QStringLiteral("settings.general.launchAtLogin"), false);
    defaults.setValue(QStringLiteral("settings.some.futureKey"), 1);
    defaults.setValue(QStringLiteral("zz.other"), 1);
    platform::FakeLoginItem loginItem;
    settings::SettingsViewModel vm(defaults, loginItem);
    vm.resetAllSettings();

    std::set<QString> kept = tableKeys([](const PreferenceKey& row) { return !row.resetRemoves; });
    kept.insert(QStringLiteral("zz.other"));
    const QStringList remaining = defaults.keys();
    EXPECT_EQ(std::set<QString>(remaining.begin(), remaining.end()), kept);
    EXPECT_TRUE(rowOf("notch.fixedScreenID").resetRemoves) << "the pinned screen goes with the display preference";
    EXPECT_EQ(notch::NotchScreenPreference::pinnedScreenID(defaults), std::nullopt);
    voice::SpeechSettings speech(defaults);
    EXPECT_TRUE(speech.preferStreaming());
    EXPECT_EQ(defaults.stringValue(QStringLiteral("enterMode")), QStringLiteral("stored"));
}
