#pragma once

#include <functional>
#include <memory>
#include <set>

#include <QByteArray>
#include <QtGlobal>

namespace murmeli::voice {

class AudioPumpWorker;

/// Carries a take's PCM from wherever it is captured to the streaming protocol: on its own serial thread,
/// "murmeli.streaming-send", it keeps every byte of the take, cuts 3200-byte pieces as they complete and hands them
/// to the owner's thread in capture order; at the end it hands over the tail and the whole take after the last
/// piece. The capture side never touches the buffers, and the owner never waits for the pump.
class AudioPump final {
public:
    static constexpr auto threadName = "murmeli.streaming-send";

    /// A whole piece of the current take, on the owner's thread.
    using PieceSink = std::function<void(const QByteArray& piece)>;
    /// The end of a take, on the owner's thread: the bytes that made no whole piece and every byte of the take.
    using FinishHandler = std::function<void(const QByteArray& tail, const QByteArray& pcm)>;
    /// Appends 16 kHz mono 16-bit PCM to the take it was handed out for; callable from any thread, and a no-op once
    /// that take has ended or the pump is gone.
    using Feed = std::function<void(const QByteArray& pcm)>;

    AudioPump();
    /// Stops the thread; pieces and ends not yet delivered are dropped.
    ~AudioPump();
    AudioPump(const AudioPump&) = delete;
    AudioPump& operator=(const AudioPump&) = delete;

    /// Starts a take with empty buffers (a take still running is dropped) and returns the way in for its audio.
    Feed begin(PieceSink sink);
    /// Ends the current take: done gets its tail and its PCM after every piece of it was delivered. Audio fed to the
    /// take afterwards is dropped.
    void finish(FinishHandler done);
    /// Ends the current take and drops its audio; nothing more of it is delivered.
    void discard();

private:
    struct Link;

    std::shared_ptr<Link> m_link;
    quint64 m_lastTake = 0;
    quint64 m_take = 0; // the take being fed; 0 between takes
    // Takes whose pieces are still delivered: a finished take stays until its end is delivered, so the previous
    // take's last pieces and tail still go out after the next one has begun.
    std::set<quint64> m_live;
};

} // namespace murmeli::voice
