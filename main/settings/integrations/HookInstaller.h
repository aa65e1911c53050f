#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Log.h"

namespace murmeli::settings {

/// Runs Claude Code's hook installer script. Its outcome is delivered from the event loop, never from inside
/// install() itself.
class HookInstaller final {
public:
    /// executablePath is murmeli's own executable, from which the script is found; the running one when empty. The
    /// script runs with `environment`, which tells it where the agent's settings lie.
    explicit HookInstaller(
        QString executablePath = {}, QProcessEnvironment environment = QProcessEnvironment::systemEnvironment());
    HookInstaller(const HookInstaller&) = delete;
    HookInstaller& operator=(const HookInstaller&) = delete;

    common::LogSink onLog;
    std::function<void()> onInstalled;
    std::function<void(const QString& message)> onFailed;

    /// Starts the installer; afterwards exactly one of onInstalled and onFailed is called.
    void install();
    /// Runs the installer for one caller: nullopt when it succeeded, else the failure message. onInstalled and
    /// onFailed are not called; the log line is written as for install().
    QCoro::Task<std::optional<QString>> installAndWait();

private:
    QCoro::Task<> deliverOutcome();
    /// Calls the callback that is set at delivery time, from the event loop.
    void deliver(std::function<void()> call);
    QString executablePath() const;

    QString m_executablePath;
    QProcessEnvironment m_environment;
    // Guards the run across its wait, and carries the deliveries: both stop when the installer is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
};

} // namespace murmeli::settings
