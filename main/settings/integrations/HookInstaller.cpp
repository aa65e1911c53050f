#include "main/settings/integrations/HookInstaller.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcessEnvironment>

#include "main/common/ProcessRunner.h"
#include "main/settings/integrations/CLIAdapter.h"

namespace murmeli::settings {

using common::LogColor;

HookInstaller::HookInstaller(QString executablePath, QProcessEnvironment environment)
    : m_executablePath(std::move(executablePath)), m_environment(std::move(environment))
{
}


QString HookInstaller::executablePath() const
{
    return m_executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_executablePath;
}

void HookInstaller::deliver(std::function<void()> call)
{
    QMetaObject::invokeMethod(m_lifetime.get(), std::move(call), Qt::QueuedConnection);
}

void HookInstaller::install()
{
    deliverOutcome();
}

QCoro::Task<> HookInstaller::deliverOutcome()
{
    QPointer<QObject> alive = m_lifetime.get();
    const std::optional<QString> failure = co_await installAndWait();
    if (!alive) {
        co_return;
    }
    deliver([this, failure] {
        if (failure && onFailed) {
            onFailed(*failure);
        } else if (!failure && onInstalled) {
            onInstalled();
        }
    });
}

QCoro::Task<std::optional<QString>> HookInstaller::installAndWait()
{
    QPointer<QObject> alive = m_lifetime.get();
    const CLIAdapter& claude = CLIAdapter::allCases().front();
    const QString exitedWithError = claude.installScriptName + QStringLiteral(" exited with error.");
    const auto script = claude.installScriptPath(executablePath());
    if (!script) {
        const QStringList candidates = claude.scriptCandidatePaths(executablePath());
        co_return claude.installScriptName + QStringLiteral(" not found at:\n") + candidates.value(0);
    }
    common::ProcessRequest request;
    request.program = QStringLiteral("/bin/bash");
    request.arguments = { *script };
    request.timeout = std::chrono::seconds(60);
    request.environment = m_environment;
    request.environment.insert(QStringLiteral("MURMELI_BIN"), executablePath());
    const common::ProcessResult result = co_await common::runProcess(request);
    if (!alive) {
        co_return exitedWithError;
    }
    if (result.succeeded()) {
        onLog(QStringLiteral("Hooks: installed for ") + claude.displayName, LogColor::Green);
        co_return std::nullopt;
    }
    QString message = !result.started ? result.errorText
                                      : QString::fromUtf8(result.standardOutput + result.standardError).trimmed();
    if (message.isEmpty()) {
        message = exitedWithError;
    }
    onLog(QStringLiteral("Hooks: install failed: ") + message, LogColor::Red);
    co_return message;
}

} // namespace murmeli::settings
