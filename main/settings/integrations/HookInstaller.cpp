#include "main/settings/integrations/HookInstaller.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcessEnvironment>

#include "main/settings/integrations/CLIAdapter.h"
#include "main/settings/integrations/IntegrationsModel.h"

namespace murmeli::settings {

using common::LogColor;

namespace {

// What a failed run said, or that it said nothing.
QString failureOf(const ExternalScriptRunner::Result& result)
{
    const QString said = result.output.trimmed();
    return said.isEmpty() ? CLIAdapter::allCases().front().installScriptName + QStringLiteral(" exited with error.")
                          : said;
}

} // namespace

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
    const ExternalScriptRunner::Result result = co_await run();
    co_return result.exitCode == 0 ? std::nullopt : std::optional<QString>(failureOf(result));
}

QCoro::Task<ExternalScriptRunner::Result> HookInstaller::run()
{
    QPointer<QObject> alive = m_lifetime.get();
    const CLIAdapter& claude = CLIAdapter::allCases().front();
    const auto script = claude.installScriptPath(executablePath());
    if (!script) {
        ExternalScriptRunner::Result missing;
        missing.output = claude.installScriptName + QStringLiteral(" not found at:\n")
            + claude.scriptCandidatePaths(executablePath()).value(0);
        co_return missing;
    }
    QProcessEnvironment environment = m_environment;
    environment.insert(QStringLiteral("MURMELI_BIN"), executablePath());
    const QString interpreter = QString::fromLatin1(IntegrationsModel::interpreter);
    const QStringList arguments { *script };
    const ExternalScriptRunner::Result result
        = co_await ExternalScriptRunner::run(common::defaultCommandRunner(), interpreter, arguments, environment);
    if (!alive) {
        co_return result;
    }
    if (result.exitCode == 0) {
        onLog(QStringLiteral("Hooks: installed for ") + claude.displayName, LogColor::Green);
    } else {
        onLog(QStringLiteral("Hooks: install failed: ") + failureOf(result), LogColor::Red);
    }
    co_return result;
}

} // namespace murmeli::settings
