#pragma once

#include <memory>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QJsonObject>
#include <QListWidget>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "main/cloud/views/AccountSectionView.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "tests/desktop/LaunchedMurmeli.h"
#include "tests/support/FakeClock.h"
#include "tests/support/MockAccountService.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/TestDesktop.h"
#include "tests/support/Wait.h"

namespace murmeli::test {

/// murmeli launched on the test desktop against the account service on the loopback, its waits on a fake clock and
/// every address it would open in the browser recorded; the settings window opened on its Account page.
struct AccountDesktop {
    AccountDesktop()
    {
        listening = worker.start();
        murmeli = std::make_unique<LaunchedMurmeli>([this](app::AppController::Dependencies& dependencies) {
            dependencies.clock = clock;
            dependencies.cloudBaseURL = worker.baseUrl();
            dependencies.openURL = [this](const QUrl& address) { opened.append(address); };
        });
    }

    /// The account record with changes, as the service answers from now on.
    void scriptAccount(const QJsonObject& changes)
    {
        QJsonObject record = MockAccountService::accountRecord();
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            record[it.key()] = it.value();
        }
        service.script(QString::fromLatin1(MockAccountService::accountPath), MockAccountService::ok(record));
    }

    std::size_t requests(const char* path) const { return service.requests(QString::fromLatin1(path)).size(); }

    /// Shows the settings window as murmeli does and picks "Account" in its sidebar with the mouse; null when the
    /// window did not come up.
    cloud::AccountSectionView* openAccountPage()
    {
        Q_EMIT murmeli->controller.notifications().showSettings();
        settings::SettingsWindowController* controller = murmeli->views.settingsWindow();
        if (controller == nullptr) {
            return nullptr;
        }
        window = &controller->window();
        if (!waitUntil([this] { return window->windowHandle() && window->windowHandle()->isExposed(); })) {
            return nullptr;
        }
        settings::SettingsRootView& root = controller->rootView();
        QListWidget& sidebar = *root.sidebar();
        const int row
            = static_cast<int>(settings::currentSettingsSections().indexOf(settings::SettingsSection::Account));
        QTest::mouseClick(sidebar.viewport(), Qt::LeftButton, {}, sidebar.visualItemRect(sidebar.item(row)).center());
        return qobject_cast<cloud::AccountSectionView*>(root.page());
    }

    /// What the X server shows where the settings window stands, sheets and alerts over it included.
    QImage grabWindowArea() const
    {
        const QRect area = window->frameGeometry();
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

    MockCloudWorker worker;
    MockAccountService service { worker };
    bool listening = false;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    QList<QUrl> opened;
    std::unique_ptr<LaunchedMurmeli> murmeli;
    QWidget* window = nullptr;
};

/// Tests on the Account page of a launched murmeli; they skip where the test desktop is not around them.
class AccountDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::optional<QString> missing = testDesktopMissing()) {
            GTEST_SKIP() << missing->toStdString();
        }
        m_desktop = std::make_unique<AccountDesktop>();
        ASSERT_TRUE(m_desktop->listening);
        m_page = m_desktop->openAccountPage();
        ASSERT_NE(m_page, nullptr);
    }

    std::unique_ptr<AccountDesktop> m_desktop;
    cloud::AccountSectionView* m_page = nullptr;
};

} // namespace murmeli::test
