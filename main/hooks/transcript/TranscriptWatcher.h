#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "main/common/WorkerThread.h"
#include "main/hooks/sessions/StatusDirectory.h"
#include "main/hooks/transcript/TranscriptData.h"
#include "main/hooks/transcript/TranscriptSummary.h"

namespace murmeli::hooks {

/// Tails the transcript of one session and keeps a small summary of it. Reading and parsing run on the thread
/// "com.murmeli.transcript-io"; the summary may be read from any thread.
class TranscriptWatcher final {
public:
    static constexpr int toolHistoryLimit = TranscriptSummary::toolHistoryLimit;
    static constexpr int agentHistoryLimit = TranscriptSummary::agentHistoryLimit;
    /// The most read from the file in one go.
    static constexpr qint64 readChunkBytes = 1024 * 1024;
    /// The first read of a longer transcript starts this far from its end.
    static constexpr qint64 initialWindowBytes = 4 * 1024 * 1024;
    /// An unfinished line longer than this is dropped, and so is the rest of it when it arrives.
    static constexpr qint64 maxLineBytes = 8 * 1024 * 1024;
    /// lastUserMessagePrefix looks no further back than this.
    static constexpr qint64 userMessageWindowBytes = 65536;
    /// A call on the transcript that lasts longer is held by a mount that stopped answering: a new path is then read
    /// on a new thread, and the held one left behind, at most maxLeftBehind times in the watcher's life.
    static constexpr qint64 heldAfterMs = 1000;
    static constexpr int maxLeftBehind = 4;

    TranscriptWatcher();
    ~TranscriptWatcher();
    TranscriptWatcher(const TranscriptWatcher&) = delete;
    TranscriptWatcher& operator=(const TranscriptWatcher&) = delete;

    /// Called on the owner's thread each time a running tool gets its result.
    std::function<void()> onToolCompleted;

    /// Starts tailing path with an empty summary, from its beginning or, for a long file, from near its end. An
    /// empty path changes nothing, and so does the current one, except that a file which could not be opened when
    /// it was first named is looked for again. Call from the owner's thread.
    void watch(const QString& path);
    /// nullopt before the first watch().
    std::optional<QString> currentPath() const;

    /// A copy of the summary.
    TranscriptData data() const;
    /// Replaces the summary; later lines are applied on top of it.
    void setData(const TranscriptData& data);

    /// The first maxChars characters of the last text the user typed in the session's transcript, whose path the
    /// status directory holds; nullopt when there is none or the files cannot be read. Safe on any thread.
    static std::optional<QString> lastUserMessagePrefix(const QString& sessionId, int maxChars = 40,
        const QString& statusDirectory = QString::fromLatin1(StatusDirectory::defaultPath));

private:
    class Worker;
    struct Shared;
    struct OwnerLink;
    struct Busy;

    /// A new io thread with a new worker; m_busy is then its.
    std::unique_ptr<common::WorkerThread<Worker>> makeIo();

    std::optional<QString> m_currentPath;
    std::shared_ptr<Shared> m_shared;
    std::shared_ptr<OwnerLink> m_owner;
    std::shared_ptr<Busy> m_busy;
    int m_leftBehind = 0;
    // Last, so the thread has stopped before the summary goes.
    std::unique_ptr<common::WorkerThread<Worker>> m_io;
};

} // namespace murmeli::hooks
