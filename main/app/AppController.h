#pragma once

#include <memory>

#include <QJsonObject>
#include <QString>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/hooks/HookServer.h"
#include "main/hooks/KeychainStore.h"

namespace murmeli::app {

/// Builds, owns and wires every component; lives on the main thread.
class AppController final {
public:
    struct Dependencies {
        std::shared_ptr<platform::SecretStore> secrets;
        std::shared_ptr<common::Clock> clock;
        quint16 hookPort = hooks::HookServer::defaultPort;
    };

    explicit AppController(Dependencies dependencies);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    /// The one log sink of the process; the delegate points it at the log output.
    common::LogSink onLog;

    /// Starts the components that talk to the outside; called once, after the delegate has finished launching.
    void startBackend(const QString& binaryPath);

    /// Every hook event the server accepts, on the main thread.
    void handleHookEvent(const QString& eventName, const QJsonObject& payload);

    hooks::HookServer& hookServer() { return *m_hookServer; }
    hooks::KeychainStore& keychain() { return m_keychain; }

private:
    void log(const QString& message, common::LogColor color);

    Dependencies m_dependencies;
    hooks::KeychainStore m_keychain;
    std::unique_ptr<hooks::HookServer> m_hookServer;
    bool m_backendStarted = false;
};

} // namespace murmeli::app
