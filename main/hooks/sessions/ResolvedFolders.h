#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include <QString>

#include "main/hooks/sessions/SessionFolders.h"

namespace murmeli::hooks {

/// Session folders as the kernel names them, links followed, to be matched against an agent process's folder, which
/// /proc gives resolved already. A folder an agent sent may lie on a mount that stopped answering, where resolving it
/// blocks in the kernel for good: each one is resolved at most once, on a thread of the caller's choice (never the
/// main one), and counts as written (cleaned) until its answer comes. May be used from any thread.
class ResolvedFolders final {
public:
    using Resolve = std::function<QString(const QString& folder)>;

    /// Folders kept resolved; beyond it those answered go and are resolved again when asked for.
    static constexpr std::size_t maxKept = 1024;

    /// The folders with each one as resolved where that is known, else cleaned as written. Never looks at the disk.
    SessionFolders known(const SessionFolders& folders) const;

    /// Takes on the folders of these sessions that were never asked for and returns the work that resolves them with
    /// resolve, to run on another thread; it owns what it touches, and what it learns is known() even after its caller
    /// stopped waiting. Empty when there is nothing to resolve.
    std::function<void()> resolving(const std::vector<SessionFolders>& sessions, Resolve resolve);

private:
    struct State {
        std::mutex mutex;
        // By folder as written: its resolved name, or nullopt while its answer is awaited.
        std::map<QString, std::optional<QString>> folders;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace murmeli::hooks
