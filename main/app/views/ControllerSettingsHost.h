#pragma once

#include <functional>

#include "main/settings/views/SettingsHost.h"

namespace murmeli::app {

class AppController;

/// The settings pages' way into the running application: everything they ask goes to the controller and the
/// components it owns.
class ControllerSettingsHost final : public settings::SettingsHost {
public:
    explicit ControllerSettingsHost(AppController& controller);

    voice::SpeechEngine& speech() override;
    void log(const QString& message, common::LogColor color) override;
    qint64 cloudMinutesLeft() const override;
    bool hasStoredCloudSession() const override;
    QString streamingStateRaw() const override;
    void openStreamingSessionIfEligible() override;
    void closeStreamingSession() override;
    std::optional<QString> setWebSocketProxy(const QString& host, int port) override;
    QCoro::Task<std::optional<QString>> testWebSocketConnection() override;
    void rebindCustomPTTHotkey(const settings::PTTHotkey& hotkey) override;
    void setHotkeyRecording(bool recording) override;
    std::optional<settings::InjectionSupport> injectionSupport() override;
    QList<settings::SpeechVoice> speechVoices() const override;
    QString activeSpeechVoiceId() const override;
    void setActiveSpeechVoiceId(const QString& id) override;
    QString executablePath() const override;
    platform::KeychainStore keychain() const override;
    QString agentSettingsPath() const override;
    QCoro::Task<std::optional<QString>> installClaudeHooks() override;
    void hooksInstalled() override;
    settings::LabStatus::DeviceLink deviceLink() const override;
    void setDeviceLinkRunning(bool on) override;
    bool speaksAnnouncements() const override;
    void setSpeaksAnnouncements(bool on) override;
    usage::CodexBarUsageReader& usageReader() override;
    void clearUsageDisplay() override;
    std::optional<QDateTime> lastUsageUpdate() const override;
    void testUsageCommand(const QString& command, double timeoutSec, std::function<void(int secondsLeft)> onProgress,
        std::function<void(bool ok, const QString& message)> completion) override;

private:
    AppController& m_controller;
};

} // namespace murmeli::app
