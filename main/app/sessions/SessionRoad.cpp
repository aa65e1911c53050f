#include "main/app/sessions/SessionRoad.h"

#include <algorithm>
#include <iterator>

#include <QMetaObject>
#include <QPointer>

#include "main/device/tts/Announcements.h"
#include "main/hooks/approvals/ApprovalRoad.h"
#include "main/hooks/approvals/ApprovalSerialization.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/events/HookEventType.h"
#include "main/hooks/terminals/TerminalJump.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/voice/context/STTContextBuilder.h"
#include "main/voice/engine/SpeechEngine.h"
#include "main/voice/preferences/LocaleNormalizer.h"

namespace murmeli::app {

using common::LogColor;

SessionRoad::SessionRoad(Links links)
    : m_links(std::move(links)), m_registry(m_links.statusDirectory, m_links.clock, m_links.legacyStatusPath),
      m_files(m_links.statusDirectory), m_dispatcher(m_registry, m_files, m_links.clock),
      m_panelSync(m_links.vm, m_links.clock, m_registry, m_links.statusDirectory, m_links.pendingTable)
{
    m_registry.holdsRequest
        = [this](const hooks::SessionKey& key) { return m_links.pendingTable.holdsRequestOf(key.text()); };
    // A request's card is drawn on its session's row: where there is none, nobody could answer it before the time-out.
    // Its own event has just been taken in, which lists its session where it may be listed. The table may outlive the
    // road, which shows nothing once it is going.
    m_links.pendingTable.admits = [this, alive = QPointer<QObject>(m_lifetime.get())](
                                      const hooks::ApprovalRequest& request) {
        if (!alive) {
            return false;
        }
        const auto key = hooks::SessionKey::fromFileKey(request.sessionId);
        if (key && m_registry.contains(*key)) {
            return true;
        }
        onLog(QStringLiteral("[approval-diag] %1: its session %2 is not on the list, so no card can show it; failing "
                             "open at once")
                  .arg(request.toolUseId, request.sessionId.isEmpty() ? QStringLiteral("(none)") : request.sessionId),
            LogColor::Orange);
        return false;
    };
}

SessionRoad::~SessionRoad() = default;

void SessionRoad::start(bool watchStatusDirectory)
{
    m_registry.onLog = [this](const QString& line) { onLog(line, LogColor::Orange); };
    const common::LogSink toLog = [this](const QString& message, LogColor color) { onLog(message, color); };
    m_dispatcher.onLog = toLog;
    m_dispatcher.onAgentSettled = [this] { scheduleFlush(); };
    m_files.onLog = toLog;
    if (watchStatusDirectory) {
        m_fileWatcher.start(m_links.statusDirectory.path(), [this] { statusChanged(); });
    }
    notch::PanelViewModel& vm = m_links.vm;
    vm.onSessionSelect = [this](const QString& sid) { selectSessionFromPanel(sid); };
    vm.onSessionPrev = [this] { stepSessionFromPanel(false); };
    vm.onSessionNext = [this] { stepSessionFromPanel(true); };
    vm.onApprove = [this](const QString& sid, const QString& toolUseId, notch::NotchApprovalAction action) {
        approveFromPanel(sid, toolUseId, action);
    };
    vm.onAnswer = [](const QString& sid, const QString& answer) {
        Q_UNUSED(sid)
        Q_UNUSED(answer)
    };
}

void SessionRoad::statusChanged()
{
    if (onStatusChange) {
        onStatusChange();
    }
}

void SessionRoad::dropQueued()
{
    m_lifetime.reset();
}

void SessionRoad::handleHookEvent(const QString& eventName, const QJsonObject& payload)
{
    // An event that waits for a look at the processes holds up those of its session behind it, so that they are
    // taken in order; other sessions' go on.
    m_droppedLast = false;
    const QString sessionId = hooks::SessionKey::payloadSessionId(payload);
    const auto waiting = m_waiting.find(sessionId);
    if (waiting == m_waiting.end() && !m_dispatcher.awaitsLook(eventName, payload)) {
        takeHookEvent(eventName, payload);
        return;
    }
    if (m_waitingEvents >= maxWaitingEvents) {
        m_droppedLast = true;
        if (!std::exchange(m_saidFull, true)) {
            onLog(QStringLiteral("Sessions: %1 events wait for a look at the processes; more are dropped, and "
                                 "requests answered at once so that their agents ask in their own prompts")
                      .arg(m_waitingEvents),
                LogColor::Orange);
        }
        return;
    }
    const bool first = waiting == m_waiting.end();
    Waiting& queue = first ? m_waiting[sessionId] : waiting->second;
    queue.events.emplace_back(eventName, payload);
    ++queue.handedIn;
    ++m_waitingEvents;
    if (first) {
        takeWaiting(sessionId);
    }
}

QCoro::Task<> SessionRoad::takeWaiting(QString sessionId)
{
    QPointer<QObject> alive = m_lifetime.get();
    bool looked = false;
    while (alive) {
        const auto waiting = m_waiting.find(sessionId);
        if (waiting == m_waiting.end()) {
            co_return;
        }
        Waiting& queue = waiting->second;
        std::vector<common::OneShot<bool>> ready;
        if (queue.events.empty()) {
            for (auto& [count, reply] : queue.replies) {
                ready.push_back(reply);
            }
            m_waiting.erase(waiting);
        } else {
            const auto [eventName, payload] = queue.events.front();
            if (!looked && m_dispatcher.awaitsLook(eventName, payload)) {
                co_await m_dispatcher.prepare(eventName, payload);
                looked = true;
                continue;
            }
            queue.events.pop_front();
            --m_waitingEvents;
            ++queue.taken;
            takeHookEvent(eventName, payload);
            // Those whose own event is taken now go on.
            const auto due = std::stable_partition(queue.replies.begin(), queue.replies.end(),
                [&](const auto& reply) { return reply.first > queue.taken; });
            std::transform(
                due, queue.replies.end(), std::back_inserter(ready), [](const auto& reply) { return reply.second; });
            queue.replies.erase(due, queue.replies.end());
        }
        if (m_waitingEvents < maxWaitingEvents) {
            m_saidFull = false;
        }
        // Each resumes its request in here: nothing of the queue is held across.
        for (common::OneShot<bool>& reply : ready) {
            reply.fulfil(true);
        }
    }
}

QCoro::Task<std::optional<QString>> SessionRoad::reply(
    QString eventName, QJsonObject payload, std::shared_ptr<hooks::HeldRequest> held)
{
    if (std::exchange(m_droppedLast, false)) {
        co_return hooks::ApprovalSerialization::responseBody(hooks::ApprovalDecision::failOpen(), QString(), true);
    }
    // Its own event, handed in just before, may wait for a look: the request goes to the table once it is taken in,
    // so that a session it lists again can show it.
    const auto waiting = m_waiting.find(hooks::SessionKey::payloadSessionId(payload));
    if (waiting != m_waiting.end() && waiting->second.taken < waiting->second.handedIn) {
        common::OneShot<bool> taken;
        waiting->second.replies.emplace_back(waiting->second.handedIn, taken);
        co_await taken;
    }
    co_return co_await m_links.approvalRoad.reply(std::move(eventName), std::move(payload), std::move(held));
}

void SessionRoad::takeHookEvent(const QString& eventName, const QJsonObject& payload)
{
    m_links.approvalRoad.settleOvertaken(eventName, payload);
    if (!m_dispatcher.dispatch(eventName, payload)) {
        return;
    }
    announceHookEvent(eventName, payload);
    if (onAcceptedEvent) {
        onAcceptedEvent(eventName, payload);
    }
    scheduleFlush();
}

void SessionRoad::scheduleFlush()
{
    // Events arrive in bursts; their files are written once the burst has been taken in.
    if (!m_flushScheduled && m_lifetime) {
        m_flushScheduled = true;
        QMetaObject::invokeMethod(
            m_lifetime.get(),
            [this] {
                m_flushScheduled = false;
                m_dispatcher.flush();
                statusChanged();
            },
            Qt::QueuedConnection);
    }
}

void SessionRoad::announceHookEvent(const QString& eventName, const QJsonObject& payload)
{
    std::optional<hooks::ClaudeStatus> status;
    if (eventName == hooks::toString(hooks::HookEventType::Stop)) {
        const auto key = m_registry.keyOf(payload);
        const auto directory = m_links.statusDirectory.open();
        if (key && directory) {
            status = hooks::ClaudeStatus::read(key->text(), *directory, m_links.clock.now());
        }
    }
    m_links.announcements.speakForHookEvent(eventName, payload, m_transcriptWatcher.data(), status);
}

void SessionRoad::clearNotify()
{
    const auto selected = m_registry.selected();
    m_files.clearNotify(selected ? std::optional(selected->sid8) : std::nullopt);
}

std::optional<hooks::ClaudeStatus> SessionRoad::readSelectedStatus()
{
    const auto selected = m_registry.selected();
    const auto directory = m_links.statusDirectory.open();
    return directory ? hooks::ClaudeStatus::read(
               selected ? std::optional(selected->sid8.text()) : std::nullopt, *directory, m_links.clock.now())
                     : std::nullopt;
}

hooks::TranscriptData SessionRoad::transcriptOf(const std::optional<hooks::ClaudeStatus>& status) const
{
    // The watcher keeps the last transcript it was given; it speaks for a session only when it follows that
    // session's file.
    const bool follows
        = status && !status->transcriptPath.isEmpty() && m_transcriptWatcher.currentPath() == status->transcriptPath;
    return follows ? m_transcriptWatcher.data() : hooks::TranscriptData {};
}

void SessionRoad::endSessionsOfGoneAgents()
{
    std::vector<std::pair<hooks::SessionKey, QString>> gone;
    for (const hooks::SessionSnapshot& session : m_registry.sessions()) {
        if (session.hookAgent && !session.hookAgent->isRunning()) {
            gone.emplace_back(
                session.sid8, QStringLiteral("its agent (pid %1) is gone").arg(session.hookAgent->pidText()));
        } else if (session.hookAgent && m_dispatcher.agentFinder.nothingLeft(m_registry.idOf(session.sid8))) {
            gone.emplace_back(session.sid8,
                QStringLiteral("the window of its agent that may have been its own is gone, and no process of its "
                               "agent is left in its folder that no other session has (its hooks ran under pid %1)")
                    .arg(session.hookAgent->pidText()));
        }
    }
    hooks::PendingRequestTable& table = m_links.pendingTable;
    for (const auto& [key, why] : gone) {
        onLog(QStringLiteral("Sessions: %1 ended: %2").arg(key.text(), why), LogColor::Orange);
        for (const hooks::ApprovalRequest& request : table.heldRequestsOf(key.text())) {
            table.resolve(request.toolUseId, hooks::ApprovalDecision::failOpen());
        }
        m_links.approvalRoad.sessionEnded(m_registry.idOf(key));
        m_dispatcher.endSession(key, true);
    }
}

std::optional<hooks::ClaudeStatus> SessionRoad::syncSessions()
{
    endSessionsOfGoneAgents();
    m_dispatcher.recheckAgents();
    m_registry.refresh();
    auto status = readSelectedStatus();
    if (status) {
        if (!status->transcriptPath.isEmpty()) {
            m_transcriptWatcher.watch(status->transcriptPath);
        }
        m_burnRate.update(status->contextPercent, m_links.clock.now());
    }
    const hooks::TranscriptData transcript = transcriptOf(status);
    m_panelSync.sync(status, transcript);
    if (onSynced) {
        onSynced(status, transcript);
    }
    return status;
}

voice::STTContext SessionRoad::currentSTTContext()
{
    voice::STTContextBuilder::SessionView session;
    session.status = readSelectedStatus();
    session.transcript = transcriptOf(session.status);
    return voice::STTContextBuilder::build(session, m_links.speech.customHotwords(),
        voice::SpeechEngine::customHotwordWeight, voice::LocaleNormalizer::effectiveLocale(m_links.defaults));
}

void SessionRoad::selectSessionFromPanel(const QString& sid)
{
    const std::optional<hooks::SessionKey> key = hooks::SessionKey::fromFileKey(sid);
    if (!key || !m_registry.contains(*key)) {
        return;
    }
    m_registry.select(*key);
    // The activity on show was the previous session's.
    m_links.vm.setCurrentActivity(QString());
    statusChanged();
    const auto selected = m_registry.selected();
    jumpToTerminal(sid, selected ? selected->hookFolders : hooks::SessionFolders {},
        selected ? selected->hookAgent : std::nullopt, m_dispatcher.agentQuestion(*key, m_registry.idOf(*key)));
}

QCoro::Task<> SessionRoad::jumpToTerminal(QString sid, hooks::SessionFolders fromHooks,
    std::optional<hooks::AgentProcessId> agent, hooks::SessionAgentFinder::Session question)
{
    QPointer<QObject> alive = m_lifetime.get();
    // Matched against the processes' folders, which the kernel gives resolved.
    fromHooks = co_await m_dispatcher.agentFinder.resolvedFolders(std::move(fromHooks));
    if (!alive) {
        co_return;
    }
    std::optional<hooks::SessionAgentFinder::Verdict> own;
    if (agent) {
        own = co_await m_dispatcher.agentFinder.verdict(*agent, std::move(question));
        if (!alive) {
            co_return;
        }
    }
    const hooks::TeleportResult result
        = co_await m_links.terminalJump.teleportToSession(sid, std::move(fromHooks), std::move(own));
    if (alive) {
        m_panelSync.noteJump(sid, result);
    }
}

void SessionRoad::stepSessionFromPanel(bool forward)
{
    if (forward) {
        m_registry.selectNext();
    } else {
        m_registry.selectPrev();
    }
    statusChanged();
}

void SessionRoad::approveFromPanel(const QString& sid, const QString& toolUseId, notch::NotchApprovalAction action)
{
    onLog(QStringLiteral("[approval-diag] vm.onApprove fired action=") + toString(action), LogColor::Blue);
    // Answered from the event loop rather than inside the click: resolving resumes the waiting reply.
    QMetaObject::invokeMethod(
        m_lifetime.get(),
        [this, sid, toolUseId, action] {
            hooks::PendingRequestTable& table = m_links.pendingTable;
            if (!table.hasActive()) {
                onLog(QStringLiteral("[diag] approval click → pendingTable empty (hook 没注册 / schema 漂移?)"),
                    LogColor::Orange);
                return;
            }
            // Only the request the card showed is answered: "Yes" must never allow a command the user has not seen,
            // such as the next one, shown after the clicked one was answered elsewhere.
            const QList<hooks::ApprovalRequest> held = table.heldRequests();
            const auto clicked = std::find_if(held.cbegin(), held.cend(),
                [&](const hooks::ApprovalRequest& request) { return request.toolUseId == toolUseId; });
            if (clicked == held.cend()) {
                onLog(QStringLiteral("[approval-diag] click on %1's card answers nothing: %2 is no longer waiting")
                          .arg(sid, toolUseId),
                    LogColor::Orange);
                return;
            }
            if (clicked->sessionId != sid) {
                onLog(QStringLiteral("[approval-diag] click on %1's card ignored: %2 is %3's request")
                          .arg(sid, toolUseId, clicked->sessionId),
                    LogColor::Orange);
                return;
            }
            table.resolve(toolUseId, notch::decisionFor(action));
            statusChanged();
        },
        Qt::QueuedConnection);
}

} // namespace murmeli::app
