#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace murmeli::common {

/// The file-system calls on one folder that may stop answering for good (a network mount whose server went away):
/// each runs on a thread of the folder's own, and its caller waits for it no longer than a time limit. A call that
/// overruns keeps that one thread, and until it ends every further call is refused at once, so a folder that does not
/// answer holds one thread and no caller. Copies share the thread; it ends once the last copy is gone and its work is
/// done, and is never waited for.
class FolderCalls final {
public:
    /// Long enough for a healthy folder on a busy machine, short enough that the one wait as a folder stops answering
    /// goes unnoticed.
    static constexpr int defaultLimitMs = 500;

    explicit FolderCalls(int limitMs = defaultLimitMs);

    /// Runs work on the folder's thread and returns what it gave; nullopt when it did not end within the limit (it
    /// then runs on, and what it gives is dropped), and at once while an earlier call still overruns. Calls run one
    /// after another in the order they were made; one whose caller gave up before it began never runs. The work must
    /// own everything it touches.
    template <typename T> std::optional<T> call(std::function<T()> work) const
    {
        auto result = std::make_shared<std::optional<T>>();
        if (!run([result, work = std::move(work)] { *result = work(); })) {
            return std::nullopt;
        }
        return std::move(*result);
    }

    /// False while a call overruns: the folder does not answer. Makes no file-system call.
    bool answers() const;

private:
    struct State;
    class Thread;

    /// Whether job ran to its end within the limit.
    bool run(std::function<void()> job) const;
    static void serve(const std::shared_ptr<State>& state);

    std::shared_ptr<Thread> m_thread;
};

} // namespace murmeli::common
