#include "main/voice/flow/PTTSessionRouter.h"

#include "main/common/TextUtils.h"

namespace murmeli::voice {

QString toString(PTTSessionRouter::Event::Kind kind)
{
    switch (kind) {
    case PTTSessionRouter::Event::Kind::Start:
        return QStringLiteral("start");
    case PTTSessionRouter::Event::Kind::End:
        return QStringLiteral("end");
    case PTTSessionRouter::Event::Kind::Cancel:
        return QStringLiteral("cancel");
    }
    return {};
}

void PTTSessionRouter::handleControlFrame(const QString& line)
{
    const QLatin1String prefix(tag);
    if (!line.startsWith(prefix)) {
        return;
    }
    const QString body = line.mid(prefix.size());
    const qsizetype comma = body.indexOf(u',');
    if (comma < 0) {
        onLog(QStringLiteral("PTT: malformed PT frame: ") + line);
        return;
    }
    const QString event = common::text::trimSpacesAndTabs(body.left(comma));
    const QString sid = common::text::trimSpacesAndTabs(body.mid(comma + 1));
    if (sid.isEmpty()) {
        onLog(QStringLiteral("PTT: missing session_id in ") + line);
        return;
    }

    std::optional<Event::Kind> kind;
    for (const Event::Kind candidate : { Event::Kind::Start, Event::Kind::End, Event::Kind::Cancel }) {
        if (event == toString(candidate)) {
            kind = candidate;
        }
    }
    if (!kind) {
        onLog(QStringLiteral("PTT: unknown PT event '") + event + QStringLiteral("' in ") + line);
        return;
    }
    if (*kind == Event::Kind::Start) {
        m_routedSessionId = sid;
    }
    onLog(QStringLiteral("PTT P4 → ") + event + QStringLiteral(" (sid=") + sid + u')');
    emitEvent(*kind, sid);
    // An end or cancel for another session leaves the routed one alone.
    if (*kind != Event::Kind::Start && m_routedSessionId == sid) {
        m_routedSessionId.reset();
    }
}

void PTTSessionRouter::emitEvent(Event::Kind kind, const QString& sessionId) const
{
    if (onEvent) {
        onEvent(Event { kind, sessionId });
    }
}

} // namespace murmeli::voice
