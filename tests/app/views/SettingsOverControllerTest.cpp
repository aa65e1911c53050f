// The settings pages against the application behind them: the window's host is the one murmeli runs with, over a
// real controller, so what a page asks reaches the component that acts on it (the socket session, the global key,
// the device link, the announcer) and what the user then meets is asserted there.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "main/app/AppController.h"
#include "main/app/ptt/PushToTalkRoad.h"
#include "main/app/views/ControllerSettingsHost.h"
#include "main/common/NotificationHub.h"
#include "main/device/link/BLEBridge.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/settings/views/pages/GeneralPage.h"
#include "main/settings/views/pages/HotkeyRecorder.h"
#include "main/settings/views/pages/LabPage.h"
#include "main/settings/views/pages/ProxyDialog.h"
#include "main/settings/views/pages/SttPage.h"
#include "main/ui/widgets/KitButton.h"
#include "main/ui/widgets/SettingsBadge.h"
#include "main/ui/widgets/SettingsToggle.h"
#include "main/ui/widgets/SymbolButton.h"
#include "platform/autostart/xdg/XdgAutostartEntry.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/desktop/fake/FakeScreenProvider.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using test::waitUntil;

namespace {

class SettingsOverControllerTest : public ::testing::Test {
protected:
    SettingsOverControllerTest()
    {
        auto dependencies = test::controllerDependencies(
            root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>());
        dependencies.desktop = [this] { return test::fakeDesktopServices(desktop); };
        dependencies.bleTransport = [this] {
            auto fake = std::make_unique<platform::FakeBleTransport>();
            transport = fake.get();
            return fake;
        };
        defaults = dependencies.defaults;
        controller = std::make_unique<app::AppController>(std::move(dependencies));
        controller->onLog = [this](const QString& message, common::LogColor) { logged << message; };
        controller->startBackend(QString());
        host = std::make_unique<app::ControllerSettingsHost>(*controller);
        window = std::make_unique<settings::SettingsWindowController>(
            settings::SettingsEnvironment { *defaults, autostart, screens, hub, root.path(), [](const QUrl&) { }, {} },
            host.get());
    }

    template <typename Page> Page& show(settings::SettingsSection section)
    {
        window->viewModel().setSelectedSection(section);
        window->present();
        auto* page = qobject_cast<Page*>(window->rootView().page());
        EXPECT_NE(page, nullptr);
        return *page;
    }

    QTemporaryDir root;
    std::shared_ptr<platform::FakeDesktop> desktop = std::make_shared<platform::FakeDesktop>();
    platform::FakeBleTransport* transport = nullptr;
    std::shared_ptr<platform::Defaults> defaults;
    std::unique_ptr<app::AppController> controller;
    QStringList logged;
    platform::XdgAutostartEntry autostart { root.path() + QStringLiteral("/autostart"),
        QStringLiteral("/usr/bin/murmeli") };
    platform::FakeScreenProvider screens { { platform::FakeScreenProvider::plainScreen(
        1, QStringLiteral("Screen"), QRectF(0, 0, 1440, 900)) } };
    common::NotificationHub hub;
    std::unique_ptr<app::ControllerSettingsHost> host;
    std::unique_ptr<settings::SettingsWindowController> window;
};

} // namespace

// A proxy saved on the speech page is the one the controller's sockets use, and is said in murmeli's log; switched
// off, the sockets go direct again.
TEST_F(SettingsOverControllerTest, TheProxyReachesTheControllersSockets)
{
    // The proxy is offered to a signed-in user only.
    controller->speech().setCloudToken(QStringLiteral("token"));
    auto& stt = show<settings::SttPage>(settings::SettingsSection::Stt);
    ASSERT_NE(stt.proxySwitch(), nullptr);
    QTest::mouseClick(stt.proxySwitch(), Qt::LeftButton);
    settings::ProxyDialog* dialog = stt.proxyDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->hostField()->setText(QStringLiteral("127.0.0.1"));
    dialog->portField()->setText(QStringLiteral("10080"));
    QTest::mouseClick(dialog->saveButton(), Qt::LeftButton);
    EXPECT_EQ(controller->speech().wsProxyHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(controller->speech().wsProxyPort(), 10080);
    EXPECT_TRUE(logged.contains(QStringLiteral("WS Proxy saved: 127.0.0.1:10080"))) << logged.join('\n').toStdString();
    // The test the page starts goes through the controller's socket session to the (absent) proxy, and fails there.
    EXPECT_TRUE(waitUntil([&] {
        return logged.filter(QStringLiteral("WS Proxy test failed")).size() == 1;
    })) << logged.join('\n').toStdString();

    QTest::mouseClick(stt.proxySwitch(), Qt::LeftButton);
    EXPECT_TRUE(controller->speech().wsProxyHost().isEmpty());
    EXPECT_TRUE(logged.contains(QStringLiteral("WS Proxy disabled — reconnecting direct")));
}

// A hotkey recorded on the general page is grabbed on the desktop at once, the one before it let go; cleared, no
// key is held.
TEST_F(SettingsOverControllerTest, ARecordedHotkeyIsTheOneGrabbedOnTheDesktop)
{
    auto& general = show<settings::GeneralPage>(settings::SettingsSection::General);
    settings::HotkeyRecorder* recorder = general.hotkeyRecorder();
    const auto chordOf = [&] {
        return app::PushToTalkRoad::customHotkeyChord(settings::PTTHotkey::loadFromDefaults(*defaults));
    };
    QTest::mouseClick(recorder->recordButton(), Qt::LeftButton);
    QTest::keyClick(recorder->recordButton(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    const std::optional<platform::KeyChord> ctrlAltK = chordOf();
    ASSERT_TRUE(ctrlAltK.has_value());
    EXPECT_TRUE(desktop->isGrabbed(*ctrlAltK));

    QTest::mouseClick(recorder->recordButton(), Qt::LeftButton);
    QTest::keyClick(recorder->recordButton(), Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    const std::optional<platform::KeyChord> ctrlAltJ = chordOf();
    ASSERT_TRUE(ctrlAltJ.has_value());
    EXPECT_TRUE(desktop->isGrabbed(*ctrlAltJ));
    EXPECT_FALSE(desktop->isGrabbed(*ctrlAltK)) << "the old hotkey stays grabbed";

    QTest::mouseClick(recorder->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(desktop->isGrabbed(*ctrlAltJ));
}

// F13 pressed while the recorder waits for a key starts no take, and the log says why; recording ended, F13 records.
TEST_F(SettingsOverControllerTest, F13WhileTheHotkeyRecorderWaitsStartsNoTake)
{
    settings::HotkeyRecorder* recorder
        = show<settings::GeneralPage>(settings::SettingsSection::General).hotkeyRecorder();
    QTest::mouseClick(recorder->recordButton(), Qt::LeftButton);
    ASSERT_TRUE(desktop->press(platform::KeyChord::f13()) && desktop->release(platform::KeyChord::f13()));
    EXPECT_FALSE(controller->vm().pttActive());
    EXPECT_TRUE(logged.contains(QStringLiteral("PTT: f13 ignored while the hotkey recorder waits for a key")));
    QTest::keyClick(recorder->recordButton(), Qt::Key_Escape);
    ASSERT_TRUE(desktop->press(platform::KeyChord::f13()));
    EXPECT_TRUE(controller->vm().pttActive());
    desktop->release(platform::KeyChord::f13());
}

// The lab's device switch runs the controller's link: it scans, connects to the device, and the badge says so;
// switched off, the link stops. The announcements switch silences the controller's announcer.
TEST_F(SettingsOverControllerTest, TheLabSwitchesRunTheDeviceLinkAndTheAnnouncer)
{
    auto& lab = show<settings::LabPage>(settings::SettingsSection::Lab);
    ASSERT_FALSE(lab.deviceSwitch()->isChecked());
    QTest::mouseClick(lab.deviceSwitch(), Qt::LeftButton);
    ASSERT_NE(controller->deviceLink().ble(), nullptr);
    ASSERT_TRUE(transport != nullptr && waitUntil([&] { return transport->isScanning(); }));
    transport->advertise({ QStringLiteral("AA:BB"), QStringLiteral("murmeli-01"), -50 });
    ASSERT_TRUE(transport->completeConnection());
    ASSERT_TRUE(waitUntil([&] { return controller->deviceLink().ble()->isConnected(); }));
    lab.refresh();
    EXPECT_EQ(lab.deviceBadge()->label(), QStringLiteral("Paired (murmeli-01)"));

    QTest::mouseClick(lab.deviceSwitch(), Qt::LeftButton);
    EXPECT_TRUE(controller->deviceLink().ble() == nullptr || controller->deviceLink().ble()->isStopped());
    lab.refresh();
    EXPECT_EQ(lab.deviceBadge()->label(), QStringLiteral("Off"));

    const bool speaking = controller->announcements().tts().isEnabled();
    EXPECT_EQ(lab.speechSwitch()->isChecked(), speaking);
    QTest::mouseClick(lab.speechSwitch(), Qt::LeftButton);
    EXPECT_EQ(controller->announcements().tts().isEnabled(), !speaking);
}
