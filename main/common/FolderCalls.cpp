#include "main/common/FolderCalls.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace murmeli::common {

struct FolderCalls::State {
    // One call, as its caller and the folder's thread share it.
    struct Job {
        std::function<void()> work;
        bool abandoned = false; // the caller gave up waiting
        bool done = false;
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> queue;
    bool running = false; // the thread exists
    bool overrun = false; // a call overran and has not ended yet
    bool closing = false; // no copy is left to make calls
};

// The handle the copies share: as the last one goes, the thread is told to end once its work is done.
class FolderCalls::Thread final {
public:
    explicit Thread(int limitMs) : limit(limitMs), state(std::make_shared<State>()) { }

    ~Thread()
    {
        const std::lock_guard lock(state->mutex);
        state->closing = true;
        state->changed.notify_all();
    }

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    const std::chrono::milliseconds limit;
    const std::shared_ptr<State> state;
};

FolderCalls::FolderCalls(int limitMs) : m_thread(std::make_shared<Thread>(limitMs)) { }

bool FolderCalls::answers() const
{
    const std::lock_guard lock(m_thread->state->mutex);
    return !m_thread->state->overrun;
}

bool FolderCalls::run(std::function<void()> work) const
{
    const std::shared_ptr<State>& state = m_thread->state;
    auto job = std::make_shared<State::Job>();
    job->work = std::move(work);
    std::unique_lock lock(state->mutex);
    if (state->overrun) {
        return false;
    }
    state->queue.push_back(job);
    if (!state->running) {
        state->running = true;
        // Detached: a thread held in the kernel by a folder that never answers must keep nobody waiting, not even the
        // end of the process.
        std::thread([state] { serve(state); }).detach();
    }
    state->changed.notify_all();
    if (state->changed.wait_for(lock, m_thread->limit, [&] { return job->done; })) {
        return true;
    }
    job->abandoned = true;
    state->overrun = true;
    return false;
}

void FolderCalls::serve(const std::shared_ptr<State>& state)
{
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return !state->queue.empty() || state->closing; });
        if (state->queue.empty()) {
            state->running = false;
            return;
        }
        const std::shared_ptr<State::Job> job = state->queue.front();
        state->queue.pop_front();
        if (job->abandoned) {
            continue;
        }
        lock.unlock();
        try {
            job->work();
        } catch (...) {
            // What it would have given is lost, as for a call that overran; the thread goes on serving.
        }
        lock.lock();
        job->done = true;
        // The folder answers again: calls queued behind the one that overran were given up and are skipped.
        state->overrun = false;
        state->changed.notify_all();
    }
}

} // namespace murmeli::common
