#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/AboutPage.h"
#include "main/settings/views/pages/AudioPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/MenuPicker.h"
#include "main/ui/widgets/SettingsRow.h"
#include "tests/settings/views/SettingsWindowHarness.h"

using namespace murmeli;

namespace {

QWidget& show(test::SettingsWindowHarness& harness, settings::SettingsSection section)
{
    settings::SettingsWindowController& controller = harness.window();
    controller.viewModel().setSelectedSection(section);
    controller.present();
    return *controller.rootView().page();
}

} // namespace

// The engine in use is loaded and written back; an unavailable engine is listed as such and refused by snapping
// back; without engines the row says so.
TEST(AudioPageTest, TheVoiceEngineMenuChoosesAvailableEnginesOnly)
{
    test::SettingsWindowHarness harness;
    harness.host->voices
        = { { "apple-tts", "Apple TTS", true }, { "piper", "Piper", false }, { "espeak", "eSpeak", true } };
    harness.host->activeVoice = QStringLiteral("apple-tts");
    auto& audio = static_cast<settings::AudioPage&>(show(harness, settings::SettingsSection::Audio));
    ui::MenuPicker* picker = audio.enginePicker();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->entryTexts(), (QStringList { "Apple TTS", "Piper (unavailable)", "eSpeak" }));
    EXPECT_EQ(picker->currentTag(), QStringLiteral("apple-tts"));
    EXPECT_EQ(harness.host->voiceChoices, QStringList { "apple-tts" }) << "loading writes the engine back";

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(picker->currentTag(), QStringLiteral("apple-tts"));
    EXPECT_EQ(harness.host->activeVoice, QStringLiteral("apple-tts"));
    QTest::keyClick(picker, Qt::Key_End);
    EXPECT_EQ(harness.host->activeVoice, QStringLiteral("espeak"));

    test::SettingsWindowHarness empty;
    auto& none = static_cast<settings::AudioPage&>(show(empty, settings::SettingsSection::Audio));
    EXPECT_EQ(none.enginePicker(), nullptr);
    EXPECT_EQ(none.engineRow()->control()->property("text").toString(), QStringLiteral("No engines available"));
    EXPECT_TRUE(empty.host->voiceChoices.isEmpty());
}

// The compiled-in version, the same address behind Website and GitHub, and one notification per press of "Check…"
// and "Reopen".
TEST(AboutPageTest, LinksOpenAndActionsPostOneNotificationPerPress)
{
    test::SettingsWindowHarness harness;
    QWidget& about = show(harness, settings::SettingsSection::About);
    EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("version"))->text(), QStringLiteral("Version 0.3.3"));
    QTest::mouseClick(about.findChild<ui::KitButton*>(QStringLiteral("Website")), Qt::LeftButton);
    QTest::mouseClick(about.findChild<ui::KitButton*>(QStringLiteral("GitHub")), Qt::LeftButton);
    ASSERT_EQ(harness.opened.size(), 2);
    EXPECT_EQ(harness.opened.at(0), harness.opened.at(1));
    EXPECT_EQ(harness.opened.at(0).scheme(), QStringLiteral("https"));
    QTest::mouseClick(about.findChild<ui::KitButton*>(QStringLiteral("Contact us")), Qt::LeftButton);
    EXPECT_EQ(harness.opened.last().scheme(), QStringLiteral("mailto"));

    QSignalSpy checks(&harness.hub, &common::NotificationHub::checkForUpdates);
    QSignalSpy reopens(&harness.hub, &common::NotificationHub::onboardingForceReopen);
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(about.findChild<ui::KitButton*>(QStringLiteral("checkForUpdates")), Qt::LeftButton);
        QTest::mouseClick(about.findChild<ui::KitButton*>(QStringLiteral("reopenOnboarding")), Qt::LeftButton);
    }
    EXPECT_EQ(checks.count(), 2);
    EXPECT_EQ(reopens.count(), 2);
}
