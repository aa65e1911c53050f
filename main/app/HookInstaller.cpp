#include "main/app/HookInstaller.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcessEnvironment>

#include "main/common/ProcessRunner.h"
#include "main/settings/CLIAdapter.h"

namespace murmeli::app {

using common::LogColor;

HookInstaller::HookInstaller(QString executablePath) : m_executablePath(std::move(executablePath)) { }

void HookInstaller::log(const QString& message, LogColor color)
{
    if (onLog) {
        onLog(message, color);
    }
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
    run();
}

QCoro::Task<> HookInstaller::run()
{
    QPointer<QObject> alive = m_lifetime.get();
    const auto fail = [this](const QString& message) {
        deliver([this, message] {
            if (onFailed) {
                onFailed(message);
            }
        });
    };
    const settings::CLIAdapter& claude = settings::CLIAdapter::allCases().front();
    const auto script = claude.installScriptPath(executablePath());
    if (!script) {
        const QStringList candidates = claude.scriptCandidatePaths(executablePath());
        fail(QStringLiteral("install-hooks.sh not found at:\n") + candidates.value(0));
        co_return;
    }
    common::ProcessRequest request;
    request.program = QStringLiteral("/bin/bash");
    request.arguments = { *script };
    request.timeout = std::chrono::seconds(60);
    request.environment = QProcessEnvironment::systemEnvironment();
    request.environment.insert(QStringLiteral("MURMELI_BIN"), executablePath());
    const common::ProcessResult result = co_await common::runProcess(request);
    if (!alive) {
        co_return;
    }
    if (result.succeeded()) {
        log(QStringLiteral("Hooks: installed for Claude Code"), LogColor::Green);
        deliver([this] {
            if (onInstalled) {
                onInstalled();
            }
        });
        co_return;
    }
    QString message = !result.started ? result.errorText
                                      : QString::fromUtf8(result.standardOutput + result.standardError).trimmed();
    if (message.isEmpty()) {
        message = QStringLiteral("install-hooks.sh exited with error.");
    }
    log(QStringLiteral("Hooks: install failed: ") + message, LogColor::Red);
    fail(message);
}

} // namespace murmeli::app
