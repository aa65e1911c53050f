#pragma once

#include <memory>
#include <optional>

#include <QHash>
#include <QObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include "main/common/Clock.h"
#include "main/hooks/approvals/PendingRequestTable.h"
#include "main/hooks/sessions/SessionRegistry.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/status/ClaudeStatus.h"
#include "main/hooks/terminals/TeleportTypes.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "main/notch/model/PanelViewModel.h"

namespace murmeli::notch {

/// Keeps the view model's sessions current: the rows, and what the active session and the pending table say. Only
/// real changes reach the view model's signals, so it may run on every change and every 2 s. Main thread.
///
/// The pending table drives the approvals: each change of what it holds rewrites the rows, the card on show and the
/// strip's text in the turn of that change, from the statuses last read, whoever answered (the panel, the device,
/// the agent's terminal, the time-out, the agent going away). The sessions holding a request come first, in the
/// table's order, so that the card whose time runs is the one met first; the others follow in the registry's order.
///
/// The selected session's status comes from the caller, who has just read it. The files of all the other sessions
/// are read on a pool thread, up to hundreds of them, so the main thread never waits on them; the view model is
/// written once they have been read (at once when there are none).
class PanelSessionSync final {
public:
    PanelSessionSync(PanelViewModel& vm, const common::Clock& clock, const hooks::SessionRegistry& registry,
        const hooks::StatusDirectory& directory, hooks::PendingRequestTable& table);
    PanelSessionSync(const PanelSessionSync&) = delete;
    PanelSessionSync& operator=(const PanelSessionSync&) = delete;

    /// Reads the other sessions' files again, then writes the view model from the registry as it is then. The
    /// transcript is the followed one when it is the selected session's, else empty.
    void sync(std::optional<hooks::ClaudeStatus> selectedStatus, hooks::TranscriptData selectedTranscript);

    /// A read of the other sessions' files is under way; the view model is written when it ends.
    bool isReading() const { return m_reading; }

    /// After a jump to a session's terminal: one that did not get there says so on the session's row for
    /// jumpNoticeMs.
    void noteJump(const QString& sid, hooks::TeleportResult result);

    /// What a jump that did not get there says; nullopt for one that did.
    static std::optional<QString> jumpNotice(hooks::TeleportResult result);

    static constexpr qint64 jumpNoticeMs = 4000;

    /// The line the strip runs for a request: the tool, and what it would do when that is known, with controls and
    /// invisible characters escaped.
    static QString approvalMessage(const hooks::ApprovalRequest& request);

private:
    void apply();
    /// By session, the first request the table holds for it, as its card shows it. placeInLine receives, by session,
    /// where that request stands in the table: 0 for the one whose time runs, then the queue's order.
    QHash<QString, PendingApproval> heldApprovals(QHash<QString, int>& placeInLine);
    QCoro::Task<> readOtherSessions();

    PanelViewModel& m_vm;
    const common::Clock& m_clock;
    const hooks::SessionRegistry& m_registry;
    const hooks::StatusDirectory& m_directory;
    const hooks::PendingRequestTable& m_table;
    std::optional<hooks::ClaudeStatus> m_selectedStatus;
    hooks::TranscriptData m_selectedTranscript;
    /// The other sessions' statuses by key, as the last read found them.
    QHash<QString, hooks::ClaudeStatus> m_otherStatuses;
    /// What each held request's card shows, by tool-use id: written out once, not on every sync.
    QHash<QString, PendingApproval> m_approvals;
    struct JumpNotice {
        QString text;
        QDateTime until;
    };
    /// By session, what its last jump ran into, while it is shown.
    QHash<QString, JumpNotice> m_jumpNotices;
    bool m_reading = false;
    // A sync while a read runs asks for one more read once it ends, so the rows end up with the latest files.
    bool m_readAgain = false;
    // Guards the read across its wait: its result is dropped when the owner is gone.
    std::unique_ptr<QObject> m_lifetime = std::make_unique<QObject>();
    hooks::PendingRequestTable::Subscription m_tableChanges;
};

} // namespace murmeli::notch
