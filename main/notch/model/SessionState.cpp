#include "main/notch/model/SessionState.h"

namespace murmeli::notch {

SessionState SessionState::error(QString message)
{
    SessionState state(Kind::Error);
    state.m_message = std::move(message);
    return state;
}

QString toString(const SessionState& state)
{
    switch (state.kind()) {
    case SessionState::Kind::Error:
        return QStringLiteral("error(") + state.message() + QLatin1Char(')');
    case SessionState::Kind::NoSession:
        return QStringLiteral("noSession");
    case SessionState::Kind::Idle:
        return QStringLiteral("idle");
    case SessionState::Kind::Working:
        return QStringLiteral("working");
    case SessionState::Kind::NeedsApproval:
        return QStringLiteral("needsApproval");
    case SessionState::Kind::WaitingForAnswer:
        return QStringLiteral("waitingForAnswer");
    case SessionState::Kind::PttActive:
        return QStringLiteral("pttActive");
    case SessionState::Kind::Compacting:
        return QStringLiteral("compacting");
    }
    return {};
}

} // namespace murmeli::notch
