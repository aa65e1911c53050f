#include "main/app/AppController.h"

namespace murmeli::app {

using common::LogColor;

AppController::AppController(Dependencies dependencies)
    : m_dependencies(std::move(dependencies))
    , m_keychain(m_dependencies.secrets)
    , m_hookServer(std::make_unique<hooks::HookServer>(m_keychain))
{
}

AppController::~AppController() = default;

void AppController::log(const QString& message, LogColor color)
{
    if (onLog) {
        onLog(message, color);
    }
}

void AppController::startBackend(const QString& binaryPath)
{
    if (m_backendStarted) {
        return;
    }
    m_backendStarted = true;
    Q_UNUSED(binaryPath)

    m_hookServer->onLog = [this](const QString& line) {
        log(line, line.startsWith(QLatin1String("HookServer: failed")) ? LogColor::Red : LogColor::Grey);
    };
    m_hookServer->onEvent = [this](const QString& eventName, const QJsonObject& payload) {
        handleHookEvent(eventName, payload);
    };
    m_hookServer->start(m_dependencies.hookPort, std::nullopt, false);
}

void AppController::handleHookEvent(const QString& eventName, const QJsonObject& payload)
{
    QString session;
    for (const char* key : { "session_id", "sessionId", "agent_id", "agentId", "id" }) {
        const QJsonValue value = payload.value(QLatin1String(key));
        if (value.isString()) {
            session = value.toString().left(8);
            break;
        }
    }
    log(QStringLiteral("[hook-diag] ") + eventName + QStringLiteral(" session=")
            + (session.isEmpty() ? QStringLiteral("-") : session),
        LogColor::Blue);
}

} // namespace murmeli::app
