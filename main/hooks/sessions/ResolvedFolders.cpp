#include "main/hooks/sessions/ResolvedFolders.h"

#include <QDir>
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

std::function<void()> ResolvedFolders::resolving(const std::vector<SessionFolders>& sessions, Resolve resolve)
{
    QStringList wanted;
    {
        const std::lock_guard lock(m_state->mutex);
        for (const SessionFolders& session : sessions) {
            for (const QString& folder : { session.current, session.project }) {
                if (folder.startsWith(u'/') && !m_state->folders.contains(folder) && !wanted.contains(folder)) {
                    wanted << folder;
                }
            }
        }
    }
    if (wanted.isEmpty() || !resolve) {
        return {};
    }
    // What to resolve is taken on as the work starts: a work that never gets a thread leaves nothing awaited.
    return [state = m_state, wanted, resolve = std::move(resolve)] {
        QStringList asked;
        {
            const std::lock_guard lock(state->mutex);
            auto& folders = state->folders;
            for (const QString& folder : wanted) {
                if (folders.contains(folder)) {
                    continue;
                }
                if (folders.size() >= maxKept) {
                    // Those still awaited stay: asked again, they would take another thread.
                    std::erase_if(folders, [](const auto& entry) { return entry.second.has_value(); });
                }
                if (folders.size() >= maxKept) {
                    break;
                }
                folders.emplace(folder, std::nullopt);
                asked << folder;
            }
        }
        for (const QString& folder : asked) {
            const QString resolved = resolve(folder);
            const std::lock_guard lock(state->mutex);
            state->folders.insert_or_assign(folder, resolved);
        }
    };
}

} // namespace murmeli::hooks
