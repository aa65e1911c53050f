#include "main/hooks/sessions/ResolvedFolders.h"

#include <atomic>

#include <QDir>
#include <QPromise>
#include <QStringList>

namespace murmeli::hooks {

SessionFolders ResolvedFolders::known(const SessionFolders& folders) const
{
    const std::lock_guard lock(m_state->mutex);
    const auto knownAs = [&](const QString& folder) {
        if (!folder.startsWith(u'/')) {
            return folder;
        }
        const auto found = m_state->folders.find(folder);
        return found != m_state->folders.end() && found->second ? *found->second : QDir::cleanPath(folder);
    };
    return { knownAs(folders.current), knownAs(folders.project) };
}

QFuture<void> ResolvedFolders::resolve(
    const std::vector<SessionFolders>& sessions, const Resolve& resolver, QThreadPool& pool)
{
    // Ends once each folder started has answered: one share for each, and one for the starting itself.
    struct Answers {
        QPromise<void> promise;
        std::atomic_int left = 1;

        void answered()
        {
            if (--left == 0) {
                promise.finish();
            }
        }
    };
    auto answers = std::make_shared<Answers>();
    QFuture<void> future = answers->promise.future();
    answers->promise.start();
    const std::lock_guard lock(m_state->mutex);
    auto& folders = m_state->folders;
    for (const SessionFolders& session : sessions) {
        for (const QString& folder : { session.current, session.project }) {
            if (!resolver || !folder.startsWith(u'/') || folders.contains(folder)) {
                continue;
            }
            if (folders.size() >= maxKept) {
                // Those still awaited stay: asked again, they would take another thread.
                std::erase_if(folders, [](const auto& entry) { return entry.second.has_value(); });
            }
            if (folders.size() >= maxKept) {
                break;
            }
            ++answers->left;
            // The answer waits for this lock, so it lands after the folder is marked awaited.
            if (pool.tryStart([state = m_state, folder, resolver, answers] {
                    const QString resolved = resolver(folder);
                    {
                        const std::lock_guard answering(state->mutex);
                        state->folders.insert_or_assign(folder, resolved);
                    }
                    answers->answered();
                })) {
                folders.emplace(folder, std::nullopt);
            } else {
                answers->answered();
            }
        }
    }
    answers->answered();
    return future;
}

} // namespace murmeli::hooks
