#include "platform/recognizer/pocketsphinx/PocketsphinxRecognitionTask.h"

#include <atomic>
#include <mutex>
#include <utility>

#include <QMetaObject>
#include <QThreadPool>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace murmeli::platform {

/// The job's line back to the task. The job holds it for as long as it runs; the task cuts it when cancelled or
/// destroyed, under the same lock that guards every post, so no post can reach a task that is being destroyed.
/// Posts already queued when the task dies are dropped with it by Qt.
class PocketsphinxRecognitionTask::Relay final : public DecodeReporter {
public:
    explicit Relay(PocketsphinxRecognitionTask* task) : m_task(task) { }

    void detach()
    {
        const std::lock_guard lock(m_mutex);
        m_task = nullptr;
        m_cancelled = true;
    }

    bool isCancelled() const override { return m_cancelled; }
    void partial(const QString& text) override
    {
        post([text](PocketsphinxRecognitionTask& task) { task.receivePartial(text); });
    }
    void finished(const QString& text) override
    {
        post([text](PocketsphinxRecognitionTask& task) { task.receiveEnd(text, std::nullopt); });
    }
    void failed(const RecognitionError& error) override
    {
        post([error](PocketsphinxRecognitionTask& task) { task.receiveEnd({}, error); });
    }

private:
    template <typename Receive> void post(Receive receive)
    {
        const std::lock_guard lock(m_mutex);
        if (!m_task) {
            return;
        }
        QMetaObject::invokeMethod(
            m_task, [task = m_task, receive = std::move(receive)] { receive(*task); }, Qt::QueuedConnection);
    }

    std::mutex m_mutex;
    PocketsphinxRecognitionTask* m_task = nullptr;
    std::atomic<bool> m_cancelled = false;
};

PocketsphinxRecognitionTask::PocketsphinxRecognitionTask(PocketsphinxJob job, std::function<void()> whenEnded)
    : m_relay(std::make_shared<Relay>(this))
{
    QThreadPool::globalInstance()->start([job = std::move(job), relay = m_relay, whenEnded = std::move(whenEnded)] {
        job.run(*relay);
#if defined(__GLIBC__)
        // A decoder's model is some 90 MB in many blocks on the heap of the pool thread that loaded it, and glibc
        // keeps freed blocks on that heap: as takes ran on one pool thread after another, every freed model stayed
        // resident. Handing the free pages back after each recognition keeps them from piling up.
        malloc_trim(0);
#endif
        if (whenEnded) {
            whenEnded();
        }
    });
}

PocketsphinxRecognitionTask::~PocketsphinxRecognitionTask()
{
    m_relay->detach();
}

void PocketsphinxRecognitionTask::cancel()
{
    m_done = true;
    m_relay->detach();
}

void PocketsphinxRecognitionTask::receivePartial(const QString& text)
{
    if (!m_done) {
        Q_EMIT partialResult(text);
    }
}

void PocketsphinxRecognitionTask::receiveEnd(const QString& text, const std::optional<RecognitionError>& error)
{
    if (m_done) {
        return;
    }
    m_done = true;
    if (error) {
        Q_EMIT failed(*error);
    } else {
        Q_EMIT finished(text);
    }
}

} // namespace murmeli::platform
