#include "main/notch/model/IslandSurface.h"

#include <QStringList>

namespace murmeli::notch {

IslandSurface IslandSurface::sessionList(std::optional<QString> actionableSessionId)
{
    IslandSurface surface(Kind::SessionList);
    surface.m_sessionId = std::move(actionableSessionId);
    return surface;
}

IslandSurface IslandSurface::approvalCard(QString sessionId, QString toolUseId)
{
    IslandSurface surface(Kind::ApprovalCard);
    surface.m_sessionId = std::move(sessionId);
    surface.m_toolUseId = std::move(toolUseId);
    return surface;
}

IslandSurface IslandSurface::questionCard(QString sessionId, QString prompt)
{
    IslandSurface surface(Kind::QuestionCard);
    surface.m_sessionId = std::move(sessionId);
    surface.m_prompt = std::move(prompt);
    return surface;
}

IslandSurface IslandSurface::completionNotification(QString sessionId)
{
    IslandSurface surface(Kind::CompletionNotification);
    surface.m_sessionId = std::move(sessionId);
    return surface;
}

IslandSurface IslandSurface::error(std::optional<QString> sessionId, QString message)
{
    IslandSurface surface(Kind::Error);
    surface.m_sessionId = std::move(sessionId);
    surface.m_message = std::move(message);
    return surface;
}

QString toString(const IslandSurface& surface)
{
    const QString session = surface.sessionId().value_or(QStringLiteral("nil"));
    switch (surface.kind()) {
    case IslandSurface::Kind::SessionList:
        return QStringLiteral("sessionList(%1)").arg(session);
    case IslandSurface::Kind::ApprovalCard:
        return QStringLiteral("approvalCard(%1, %2)").arg(session, surface.toolUseId());
    case IslandSurface::Kind::QuestionCard:
        return QStringLiteral("questionCard(%1, %2)").arg(session, surface.prompt());
    case IslandSurface::Kind::CompletionNotification:
        return QStringLiteral("completionNotification(%1)").arg(session);
    case IslandSurface::Kind::Error:
        return QStringLiteral("error(%1, %2)").arg(session, surface.message());
    }
    return {};
}

} // namespace murmeli::notch
