#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/pages/HotwordsEditorSheet.h"
#include "main/settings/views/pages/ProxyDialog.h"
#include "main/settings/views/pages/SttPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SegmentedPicker.h"
#include "main/ui/widgets/SettingsRow.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/voice/enhance/SpeechEnhancerConfig.h"
#include "tests/settings/views/SettingsWindowHarness.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using settings::SttPage;

namespace {

class SttPageTest : public ::testing::Test {
protected:
    SttPage& page()
    {
        auto* stt = m_harness.show<SttPage>(settings::SettingsSection::Stt);
        EXPECT_NE(stt, nullptr);
        return *stt;
    }
    void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    voice::SpeechEngine& speech() { return m_harness.host->speech(); }
    bool logged(const QString& line) const
    {
        return std::any_of(m_harness.host->logged.begin(), m_harness.host->logged.end(),
            [&](const test::FakeSettingsHost::Line& entry) { return entry.message == line; });
    }

    test::SettingsWindowHarness m_harness;
};

} // namespace

// Showing the page turns streaming back on and writes nothing else; the cloud switch moves the engine's backend and
// closes or opens the streaming session; the polish switch and the Enter mode write at once.
TEST_F(SttPageTest, SwitchesWriteTheirKeysAndTheEngineSeesThem)
{
    speech().setPreferStreaming(false);
    speech().setCloudToken(QStringLiteral("token"));
    m_harness.host->minutesLeft = 42;
    m_harness.host->streamingState = QStringLiteral("ready");
    SttPage& stt = page();
    EXPECT_TRUE(speech().preferStreaming());
    EXPECT_FALSE(m_harness.defaults.contains(QString::fromLatin1(voice::SpeechEnhancerConfig::aiOptimizationKey)));
    EXPECT_TRUE(stt.cloudSwitch()->isChecked());
    EXPECT_EQ(stt.cloudRow()->sub(), QStringLiteral("42 minutes remaining · Active"));
    Q_EMIT m_harness.hub.wsStateChanged(QStringLiteral("connecting"));
    EXPECT_EQ(stt.cloudRow()->sub(), QStringLiteral("42 minutes remaining · Connecting…"));

    click(stt.cloudSwitch());
    EXPECT_EQ(speech().activeBackendId(), QStringLiteral("apple-stt"));
    EXPECT_EQ(m_harness.host->closes, 1);
    EXPECT_TRUE(test::waitUntil([&] { return stt.secondEngineRow() == nullptr; }));
    click(stt.cloudSwitch());
    EXPECT_EQ(speech().activeBackendId(), QStringLiteral("murmeli-cloud"));
    EXPECT_EQ(m_harness.host->opens, 1);

    click(stt.aiSwitch());
    EXPECT_FALSE(voice::SpeechEnhancerConfig::isAIOptimizationEnabled(m_harness.defaults));
    ui::SegmentedPicker* enter = stt.enterModePicker();
    QTest::mouseClick(enter, Qt::LeftButton, {}, enter->segmentRect(QStringLiteral("never")).center());
    EXPECT_EQ(speech().enterMode(), voice::EnterMode::Never);
}

// The proxy question keeps a port outside 1–65535 or a host with a scheme out, saying why; a good pair is stored
// trimmed, logged and tested; switching off clears it. Cancel leaves the switch off and nothing stored.
TEST_F(SttPageTest, TheProxyIsCheckedStoredTestedAndCleared)
{
    speech().setCloudToken(QStringLiteral("token"));
    m_harness.host->connectionTest = QStringLiteral("WS failed: Connection refused");
    SttPage& stt = page();
    ASSERT_NE(stt.proxySwitch(), nullptr);
    click(stt.proxySwitch());
    settings::ProxyDialog* dialog = stt.proxyDialog();
    ASSERT_NE(dialog, nullptr);
    click(dialog->cancelButton());
    EXPECT_TRUE(test::waitUntil([&] { return !stt.proxySwitch()->isChecked(); }));
    EXPECT_TRUE(speech().wsProxyHost().isEmpty());

    click(stt.proxySwitch());
    dialog = stt.proxyDialog();
    ASSERT_NE(dialog, nullptr);
    struct Attempt {
        const char* host;
        const char* port;
        const char* problem;
    };
    const Attempt refused[] = {
        { "127.0.0.1", "70000", "Proxy port must be between 1 and 65535, not 70000" },
        { "127.0.0.1", "0", "Proxy port must be between 1 and 65535, not 0" },
        { "http://proxy", "8080", "must not include a scheme" },
        { "my proxy", "8080", "must not contain spaces" },
        { "  ", "8080", "Proxy host is empty" },
    };
    for (const Attempt& attempt : refused) {
        dialog->hostField()->setText(QString::fromUtf8(attempt.host));
        dialog->portField()->setText(QString::fromUtf8(attempt.port));
        click(dialog->saveButton());
        EXPECT_TRUE(dialog->problem().contains(QString::fromUtf8(attempt.problem))) << dialog->problem().toStdString();
        EXPECT_TRUE(speech().wsProxyHost().isEmpty()) << attempt.host;
    }
    dialog->hostField()->clear();
    QTest::keyClicks(dialog->hostField(), QStringLiteral(" 127.0.0.1\t"));
    dialog->portField()->setText(QStringLiteral("+10080"));
    click(dialog->saveButton());
    EXPECT_EQ(speech().wsProxyHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(speech().wsProxyPort(), 10080);
    EXPECT_TRUE(logged(QStringLiteral("WS Proxy saved: 127.0.0.1:10080")));
    EXPECT_TRUE(test::waitUntil([&] {
        return logged(
            QStringLiteral("WS Proxy test failed: WS failed: Connection refused — proxy kept (toggle Off to clear)"));
    }));
    ASSERT_TRUE(test::waitUntil([&] { return stt.secondEngineRow()->sub() == QStringLiteral("127.0.0.1:10080"); }));

    click(stt.proxySwitch());
    EXPECT_TRUE(speech().wsProxyHost().isEmpty());
    EXPECT_EQ(speech().wsProxyPort(), 0);
    EXPECT_TRUE(logged(QStringLiteral("WS Proxy disabled — reconnecting direct")));
}

// The hotwords row counts the stored terms; the viewer searches them and writes nothing back.
TEST_F(SttPageTest, TheHotwordsViewerSearchesTheStoredTerms)
{
    speech().setCustomHotwords({ "Kubernetes", "kubectl", "murmeli" });
    SttPage& stt = page();
    EXPECT_EQ(stt.hotwordsRow()->sub(), QStringLiteral("3 custom terms · editing temporarily read-only (I-325)"));
    click(stt.findChild<ui::KitButton*>(QStringLiteral("openHotwords")));
    settings::HotwordsEditorSheet* sheet = stt.hotwordsSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->counterText(), QStringLiteral("3 / 100"));
    QTest::keyClicks(sheet->searchField(), QStringLiteral(" KUB"));
    EXPECT_EQ(sheet->shownEntries(), (QStringList { "Kubernetes", "kubectl" }));
    QTest::keyClicks(sheet->searchField(), QStringLiteral("x"));
    EXPECT_EQ(sheet->emptyText(), QStringLiteral("No matches."));
    click(sheet->closeButton());
    EXPECT_TRUE(test::waitUntil([&] { return stt.hotwordsSheet() == nullptr; }));
    EXPECT_EQ(speech().customHotwords(), (QStringList { "Kubernetes", "kubectl", "murmeli" }));
}
