#include "main/voice/streaming/AudioPump.h"

#include <mutex>
#include <utility>

#include <QObject>

#include "main/common/WorkerThread.h"
#include "main/voice/streaming/PieceCutter.h"

namespace murmeli::voice {

/// The pump's half on the send thread: the buffers of the take being fed.
class AudioPumpWorker final : public QObject {
public:
    using Post = std::function<void(std::function<void()>)>;

    explicit AudioPumpWorker(Post toOwner) : m_toOwner(std::move(toOwner)) { }

    void begin(quint64 take, std::function<void(const QByteArray&)> sink)
    {
        m_take = take;
        m_cutter.reset();
        m_sink = std::move(sink);
    }

    void accumulate(quint64 take, const QByteArray& pcm)
    {
        // Audio converted just before its take ended may arrive after the end; it belongs to no take any more.
        if (take != m_take || take == 0) {
            return;
        }
        for (QByteArray& piece : m_cutter.append(pcm)) {
            m_toOwner([sink = m_sink, piece = std::move(piece)] { sink(piece); });
        }
    }

    void finish(quint64 take, std::function<void(const QByteArray&, const QByteArray&)> done)
    {
        QByteArray tail;
        QByteArray pcm;
        if (take == m_take) {
            tail = m_cutter.takeTail();
            pcm = m_cutter.takeAll();
            m_take = 0;
        }
        m_toOwner([done = std::move(done), tail = std::move(tail), pcm = std::move(pcm)] { done(tail, pcm); });
    }

    void discard(quint64 take)
    {
        if (take == m_take) {
            m_cutter.reset();
            m_take = 0;
        }
    }

private:
    PieceCutter m_cutter;
    quint64 m_take = 0;
    Post m_toOwner;
    std::function<void(const QByteArray&)> m_sink;
};

// What a feed handed to the capture side holds: it may outlive the pump, and is called from the capture thread.
struct AudioPump::Link {
    std::mutex mutex;
    std::unique_ptr<common::WorkerThread<AudioPumpWorker>> thread;
};

AudioPump::AudioPump() : m_link(std::make_shared<Link>())
{
    // The worker posts through the thread object, which it can only be given once that exists; it is reached only
    // while the thread runs, and the thread stops before the link lets go of it.
    auto toOwner = [link = m_link.get()](std::function<void()> call) { link->thread->postToOwner(std::move(call)); };
    m_link->thread = std::make_unique<common::WorkerThread<AudioPumpWorker>>(
        QString::fromLatin1(threadName), std::make_unique<AudioPumpWorker>(std::move(toOwner)));
}

AudioPump::~AudioPump()
{
    // Under the lock, so that no feed posts to a worker that is going; the worker itself never takes the lock.
    const std::lock_guard lock(m_link->mutex);
    m_link->thread->stop();
    m_link->thread.reset();
}

AudioPump::Feed AudioPump::begin(PieceSink sink)
{
    const quint64 take = ++m_lastTake;
    if (m_take != 0) {
        m_live.erase(m_take);
    }
    m_take = take;
    m_live.insert(take);
    // Delivery on the owner's thread checks the take is still live: a discarded take's queued pieces are dropped.
    auto deliver = [this, take, sink = std::move(sink)](const QByteArray& piece) {
        if (m_live.contains(take)) {
            sink(piece);
        }
    };
    m_link->thread->post([take, deliver = std::move(deliver)](
                             AudioPumpWorker& worker) mutable { worker.begin(take, std::move(deliver)); });
    return [link = std::weak_ptr<Link>(m_link), take](const QByteArray& pcm) {
        const auto held = link.lock();
        if (!held || pcm.isEmpty()) {
            return;
        }
        const std::lock_guard lock(held->mutex);
        if (held->thread) {
            held->thread->post([take, pcm](AudioPumpWorker& worker) { worker.accumulate(take, pcm); });
        }
    };
}

void AudioPump::finish(FinishHandler done)
{
    const quint64 take = std::exchange(m_take, 0);
    auto end = [this, take, done = std::move(done)](const QByteArray& tail, const QByteArray& pcm) {
        m_live.erase(take);
        if (done) {
            done(tail, pcm);
        }
    };
    m_link->thread->post(
        [take, end = std::move(end)](AudioPumpWorker& worker) mutable { worker.finish(take, std::move(end)); });
}

void AudioPump::discard()
{
    const quint64 take = std::exchange(m_take, 0);
    m_live.erase(take);
    m_link->thread->post([take](AudioPumpWorker& worker) { worker.discard(take); });
}

} // namespace murmeli::voice
