#pragma once

#include <memory>
#include <vector>

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include "main/common/NotificationHub.h"
#include "main/common/Clock.h"
#include "main/settings/views/SettingsHost.h"
#include "main/settings/views/SettingsRootView.h"
#include "main/settings/views/SettingsWindowController.h"
#include "main/usage/CodexBarUsageReader.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/autostart/xdg/XdgAutostartEntry.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeScreenProvider.h"
#include "platform/secrets/fake/FakeSecretStore.h"

namespace murmeli::test {

/// The application as the settings pages reach it, with a real speech engine over the harness's preferences and
/// everything else recorded or answered as the test sets it.
class FakeSettingsHost final : public settings::SettingsHost {
public:
    FakeSettingsHost(platform::Defaults& defaults, common::Clock& clock) : m_speech(defaults, clock) { }

    /// One run of the usage tool the page asked for; the test answers through its callbacks.
    struct UsageTest {
        QString command;
        double timeoutSec = 0;
        std::function<void(int)> onProgress;
        std::function<void(bool, const QString&)> completion;
    };

    voice::SpeechEngine& speech() override { return m_speech; }
    void log(const QString& message, common::LogColor color) override { logged.append({ message, color }); }
    qint64 cloudMinutesLeft() const override { return minutesLeft; }
    bool hasStoredCloudSession() const override { return storedSession; }
    QString streamingStateRaw() const override { return streamingState; }
    void openStreamingSessionIfEligible() override { ++opens; }
    void closeStreamingSession() override { ++closes; }
    std::optional<QString> setWebSocketProxy(const QString& host, int port) override
    {
        if (host.isEmpty()) {
            m_speech.sockets().clearProxy();
            return std::nullopt;
        }
        return m_speech.sockets().setProxy(host, port);
    }
    QCoro::Task<std::optional<QString>> testWebSocketConnection() override { co_return connectionTest; }
    void rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey) override { rebound.push_back(hotkey); }
    void setHotkeyRecording(bool) override { }
    std::optional<settings::InjectionSupport> injectionSupport() override { return injection; }
    QList<settings::SpeechVoice> speechVoices() const override { return voices; }
    QString activeSpeechVoiceId() const override { return activeVoice; }
    void setActiveSpeechVoiceId(const QString& id) override
    {
        activeVoice = id;
        voiceChoices.append(id);
    }
    QString executablePath() const override { return executable; }
    platform::KeychainStore keychain() const override { return platform::KeychainStore(secrets); }
    QString agentSettingsPath() const override { return claudeSettings; }
    QCoro::Task<std::optional<QString>> installClaudeHooks() override
    {
        ++claudeInstalls;
        co_return claudeInstallFailure;
    }
    settings::LabStatus::DeviceLink deviceLink() const override { return link; }
    void setDeviceLinkRunning(bool on) override
    {
        linkRuns.push_back(on);
        link.running = on;
    }
    bool speaksAnnouncements() const override { return speaks; }
    void setSpeaksAnnouncements(bool on) override
    {
        speaks = on;
        speakChanges.push_back(on);
    }
    usage::CodexBarUsageReader& usageReader() override { return reader; }
    void clearUsageDisplay() override { ++usageCleared; }
    std::optional<QDateTime> lastUsageUpdate() const override { return lastUpdate; }
    void testUsageCommand(const QString& command, double timeoutSec, std::function<void(int)> onProgress,
        std::function<void(bool, const QString&)> completion) override
    {
        usageTests.push_back({ command, timeoutSec, std::move(onProgress), std::move(completion) });
    }

    struct Line {
        QString message;
        common::LogColor color;
    };
    QList<Line> logged;
    qint64 minutesLeft = -1;
    bool storedSession = false;
    QString streamingState;
    int opens = 0;
    int closes = 0;
    std::optional<QString> connectionTest;
    std::vector<settings::PTTHotkey> rebound;
    std::optional<settings::InjectionSupport> injection = settings::InjectionSupport { true, {} };
    QList<settings::SpeechVoice> voices;
    QString activeVoice;
    QStringList voiceChoices;
    QString executable;
    std::shared_ptr<platform::SecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    QString claudeSettings;
    int claudeInstalls = 0;
    std::optional<QString> claudeInstallFailure;
    settings::LabStatus::DeviceLink link;
    std::vector<bool> linkRuns;
    bool speaks = false;
    std::vector<bool> speakChanges;
    // Polls only where no usage tool lies.
    usage::CodexBarUsageReader reader { 15, { nullptr, { QStringLiteral("/nonexistent/murmeli-test") }, 1 } };
    int usageCleared = 0;
    std::optional<QDateTime> lastUpdate;
    std::vector<UsageTest> usageTests;

private:
    voice::SpeechEngine m_speech;
};

/// A settings window over a temporary home: preferences, the real autostart entry in the home's config folder, two
/// fake screens, and a record of every address opened.
struct SettingsWindowHarness {
    explicit SettingsWindowHarness(bool withHost = true)
    {
        if (withHost) {
            host = std::make_unique<FakeSettingsHost>(defaults, clock);
        }
    }

    settings::SettingsWindowController& window()
    {
        if (!controller) {
            controller = std::make_unique<settings::SettingsWindowController>(
                settings::SettingsEnvironment { defaults, autostart, screens, hub, home.path(),
                    [this](const QUrl& url) { opened.append(url); }, {} },
                host.get());
        }
        return *controller;
    }

    /// Opens the window at the section's page; null when the page shown is not a Page.
    template <typename Page> Page* show(settings::SettingsSection section)
    {
        settings::SettingsWindowController& controller = window();
        controller.viewModel().setSelectedSection(section);
        controller.present();
        return qobject_cast<Page*>(controller.rootView().page());
    }

    QTemporaryDir home;
    platform::Defaults defaults { home.path() + QStringLiteral("/defaults.json") };
    common::SystemClock clock;
    platform::XdgAutostartEntry autostart { home.path() + QStringLiteral("/.config/autostart"),
        QStringLiteral("/usr/bin/murmeli") };
    platform::FakeScreenProvider screens { {
        platform::FakeScreenProvider::plainScreen(11, QStringLiteral("Laptop panel"), QRectF(0, 0, 1440, 900)),
        platform::FakeScreenProvider::plainScreen(22, QStringLiteral("Desk monitor"), QRectF(1440, 0, 2560, 1440)),
    } };
    common::NotificationHub hub;
    QList<QUrl> opened;
    std::unique_ptr<FakeSettingsHost> host;
    std::unique_ptr<settings::SettingsWindowController> controller;
};

} // namespace murmeli::test
