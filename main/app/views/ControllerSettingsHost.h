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
    std::optional<settings::InjectionSupport> injectionSupport() override;
    QList<settings::SpeechVoice> speechVoices() const override;
    QString activeSpeechVoiceId() const override;
    void setActiveSpeechVoiceId(const QString& id) override;

private:
    AppController& m_controller;
};

} // namespace murmeli::app
