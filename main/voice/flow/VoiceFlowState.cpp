#include "main/voice/flow/VoiceFlowState.h"

namespace murmeli::voice {

QString VoiceFlowState::name() const
{
    struct Names {
        QString operator()(const Idle&) const { return QStringLiteral("idle"); }
        QString operator()(const Recording&) const { return QStringLiteral("recording"); }
        QString operator()(const Polishing&) const { return QStringLiteral("polishing"); }
        QString operator()(const AwaitingCommit&) const { return QStringLiteral("awaitingCommit"); }
        QString operator()(const Injecting&) const { return QStringLiteral("injecting"); }
    };
    return std::visit(Names {}, value);
}

} // namespace murmeli::voice
