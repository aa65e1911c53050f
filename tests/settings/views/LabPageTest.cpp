#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/CodexBarCommandRow.h"
#include "main/settings/views/pages/LabPage.h"
#include "main/settings/views/pages/UsageToolSection.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SegmentedPicker.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/ui/widgets/SymbolButton.h"
#include "tests/settings/views/SettingsWindowHarness.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::LabPage;
using usage::CodexBarUsageReader;

namespace {

LabPage& showLab(test::SettingsWindowHarness& harness)
{
    auto* lab = harness.show<LabPage>(settings::SettingsSection::Lab);
    EXPECT_NE(lab, nullptr);
    return *lab;
}

QStringList storedRows(const platform::Defaults& defaults)
{
    return CodexBarUsageReader::commandsFromUDOrDefault(defaults);
}

} // namespace

// Opening the page with the switch stored on starts the link once; the badge follows the link on each tick and
// reads "Off" once it is switched off; the profile and spoken announcements are seeded and written through.
TEST(LabPageTest, TheDeviceSwitchProfileAndAnnouncementsActOnTheirOwners)
{
    test::SettingsWindowHarness harness;
    harness.defaults.setValue(QStringLiteral("lab.ble.enabled"), true);
    harness.host->speech().setActiveMicSource(QStringLiteral("ble"));
    harness.host->speaks = true;
    LabPage& lab = showLab(harness);
    EXPECT_EQ(harness.host->linkRuns, std::vector<bool> { true });
    EXPECT_TRUE(lab.deviceSwitch()->isChecked());
    EXPECT_EQ(lab.profilePicker()->currentTag(), QStringLiteral("ble"));
    EXPECT_TRUE(lab.speechSwitch()->isChecked());
    EXPECT_EQ(harness.host->speakChanges, std::vector<bool> { true }) << "seeding writes the value back once";

    harness.host->link = { true, true, std::nullopt, settings::LabStatus::Radio::PoweredOn };
    lab.refresh();
    EXPECT_EQ(lab.deviceBadge()->label(), QStringLiteral("Paired (murmeli)"));
    QTest::mouseClick(lab.deviceSwitch(), Qt::LeftButton);
    EXPECT_EQ(harness.host->linkRuns, (std::vector<bool> { true, false }));
    EXPECT_EQ(harness.defaults.boolValue(QStringLiteral("lab.ble.enabled")), false);
    lab.refresh();
    EXPECT_EQ(lab.deviceBadge()->label(), QStringLiteral("Off"));
    // A change of the stored switch elsewhere is taken over within a tick, and starts the link.
    harness.defaults.setValue(QStringLiteral("lab.ble.enabled"), true);
    lab.refresh();
    EXPECT_EQ(harness.host->linkRuns, (std::vector<bool> { true, false, true }));

    QTest::mouseClick(lab.profilePicker(), Qt::LeftButton, Qt::NoModifier,
        lab.profilePicker()->segmentRect(QStringLiteral("mac")).center());
    EXPECT_EQ(harness.host->speech().activeMicSource(), QStringLiteral("local"));
    QTest::mouseClick(lab.speechSwitch(), Qt::LeftButton);
    EXPECT_FALSE(harness.host->speaks);
    QTest::mouseClick(lab.muteSwitch(), Qt::LeftButton);
    EXPECT_TRUE(harness.window().viewModel().muteDuringFocus());

    test::SettingsWindowHarness bare(false);
    LabPage& unavailable = showLab(bare);
    EXPECT_EQ(unavailable.deviceBadge()->label(), QStringLiteral("Unavailable"));
    EXPECT_FALSE(unavailable.deviceSwitch()->isEnabled());
    EXPECT_FALSE(unavailable.speechSwitch()->isEnabled());
    EXPECT_EQ(unavailable.profilePicker(), nullptr);
    EXPECT_EQ(unavailable.usageSection()->statusBadge()->label(), QStringLiteral("Unavailable"));
    EXPECT_FALSE(unavailable.usageSection()->enabledSwitch()->isEnabled());
}

// The usage rows: added rows stay on the page until a test saves them all; the row under test counts down with
// every button waiting; a failed test stores nothing; removing and resetting store at once; switching off stops
// the reader and clears the panel's usage.
TEST(LabPageTest, UsageRowsAreSavedByASuccessfulTestAndTheReaderFollows)
{
    test::SettingsWindowHarness harness;
    harness.defaults.setValue(QStringLiteral("lab.codexbar.enabled"), true);
    harness.defaults.setValue(QStringLiteral("lab.codexbar.poll_minutes"), 5);
    settings::UsageToolSection& usage = *showLab(harness).usageSection();
    CodexBarUsageReader& reader = harness.host->reader;
    EXPECT_TRUE(reader.isStarted());
    EXPECT_EQ(reader.intervalMinutes(), 5);
    EXPECT_EQ(usage.intervalPicker()->currentTag(), QStringLiteral("5"));
    ASSERT_EQ(usage.commandRows().size(), 1);
    EXPECT_EQ(usage.commandRows().front()->removeButton(), nullptr) << "the last row stays";

    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(usage.addButton(), Qt::LeftButton);
    }
    ASSERT_EQ(usage.commandRows().size(), CodexBarUsageReader::maxCommandRows);
    EXPECT_FALSE(usage.addButton()->isEnabled());
    QLineEdit* edited = usage.commandRows().at(4)->field();
    edited->selectAll();
    QTest::keyClicks(edited, QStringLiteral("codexbar usage --provider codex"));
    EXPECT_EQ(storedRows(harness.defaults).size(), 1) << "edits stay on the page";

    QTest::mouseClick(usage.commandRows().at(1)->testButton(), Qt::LeftButton);
    ASSERT_EQ(harness.host->usageTests.size(), 1u);
    harness.host->usageTests[0].onProgress(7);
    EXPECT_EQ(usage.commandRows().at(1)->testButton()->text(), QStringLiteral("Testing… 7s"));
    for (settings::CodexBarCommandRow* row : usage.commandRows()) {
        EXPECT_FALSE(row->testButton()->isEnabled());
    }
    EXPECT_FALSE(usage.resetButton()->isEnabled());
    harness.host->usageTests[0].completion(false, QStringLiteral("codexbar not found in PATH"));
    ASSERT_NE(usage.testAlert(), nullptr);
    EXPECT_EQ(usage.testAlert()->text(), QStringLiteral("Test failed: codexbar not found in PATH"));
    EXPECT_EQ(storedRows(harness.defaults).size(), 1);
    EXPECT_TRUE(usage.commandRows().at(1)->testButton()->isEnabled());

    QTest::mouseClick(usage.commandRows().at(0)->testButton(), Qt::LeftButton);
    harness.host->usageTests.back().completion(true, QStringLiteral("OK — JSON parsed, 1 provider(s) ready."));
    EXPECT_EQ(usage.testAlert()->text(), QStringLiteral("Saved · OK — JSON parsed, 1 provider(s) ready."));
    EXPECT_EQ(storedRows(harness.defaults).size(), 5);
    EXPECT_EQ(storedRows(harness.defaults).at(4), QStringLiteral("codexbar usage --provider codex"));
    EXPECT_EQ(reader.commands(), storedRows(harness.defaults));

    QTest::mouseClick(usage.commandRows().at(4)->removeButton(), Qt::LeftButton);
    EXPECT_EQ(storedRows(harness.defaults).size(), 4);
    QTest::mouseClick(usage.resetButton(), Qt::LeftButton);
    EXPECT_EQ(storedRows(harness.defaults), QStringList { CodexBarUsageReader::defaultCLICommand });
    EXPECT_EQ(usage.commandRows().size(), 1);

    QTest::mouseClick(usage.enabledSwitch(), Qt::LeftButton);
    EXPECT_FALSE(reader.isStarted());
    EXPECT_EQ(harness.host->usageCleared, 1);
    EXPECT_EQ(usage.statusBadge()->label(), QStringLiteral("Off"));
    EXPECT_TRUE(usage.statusRow()->isHidden());
}
