#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QFuture>
#include <QString>
#include <QThreadPool>

#include "main/hooks/sessions/SessionFolders.h"

namespace murmeli::hooks {

/// Session folders as the kernel names them, links followed, to be matched against an agent process's folder, which
/// /proc gives resolved already. A folder an agent sent may lie on a mount that stopped answering, where resolving it
/// blocks in the kernel for good: each one is resolved on a thread of its own from the caller's pool (never the main
/// thread), is not asked again while it hangs, and counts as written (cleaned) until its answer comes. May be used from
/// any thread.
class ResolvedFolders final {
public:
    using Resolve = std::function<QString(const QString& folder)>;

    /// Folders kept resolved; beyond it those answered go and are resolved again when asked for.
    static constexpr std::size_t maxKept = 1024;

    /// The folders with each one as resolved where that is known, else cleaned as written. Never looks at the disk.
    SessionFolders known(const SessionFolders& folders) const;

    /// Starts resolving with resolver, one thread of pool each, the folders of these sessions that were never asked
    /// for: one that does not answer holds its own thread and no other folder's. One that finds no thread free is
    /// left to be asked for again. The future ends once each folder started has its answer, which is known() even
    /// after its caller stopped waiting.
    QFuture<void> resolve(const std::vector<SessionFolders>& sessions, const Resolve& resolver, QThreadPool& pool);

private:
    struct State {
        std::mutex mutex;
        // By folder as written: its resolved name, or nullopt while its answer is awaited.
        std::map<QString, std::optional<QString>> folders;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace murmeli::hooks
