#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

namespace murmeli::platform {

/// The one loaded decoder that every take uses in turn. Loading it per take on the pool's threads left each thread's
/// heap holding a model's worth of memory; one decoder, kept while takes come and freed once they stop, keeps the
/// process near its idle size. Safe to use from any thread.
class PocketsphinxDecoderKeeper final {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// clock is read from any thread to tell how long the decoder has been idle.
    explicit PocketsphinxDecoderKeeper(PocketsphinxModel model, Clock clock = &std::chrono::steady_clock::now)
        : m_model(std::move(model)), m_clock(std::move(clock))
    {
    }
    PocketsphinxDecoderKeeper(const PocketsphinxDecoderKeeper&) = delete;
    PocketsphinxDecoderKeeper& operator=(const PocketsphinxDecoderKeeper&) = delete;

    /// The decoder for one take, held for this take alone until the lease is destroyed.
    class Lease final {
    public:
        /// The loaded decoder; null when the model would not load.
        PocketsphinxDecoder* decoder() const { return m_decoder; }
        ~Lease();
        Lease(Lease&&) = default;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;

    private:
        friend class PocketsphinxDecoderKeeper;
        Lease(PocketsphinxDecoderKeeper& keeper, std::unique_lock<std::mutex> lock);

        PocketsphinxDecoderKeeper* m_keeper;
        std::unique_lock<std::mutex> m_lock;
        PocketsphinxDecoder* m_decoder = nullptr;
    };

    /// Waits for any other take to let go of the decoder, then loads it if it is not loaded.
    Lease lease();

    /// Frees the decoder, and the heap pages it leaves, when no take holds it and none has for idleTime; returns
    /// whether it is unloaded afterwards. Never waits for a take.
    bool unloadIfIdle(std::chrono::milliseconds idleTime);

    bool isLoaded() const { return m_loaded; }

private:
    const PocketsphinxModel m_model;
    const Clock m_clock;
    std::mutex m_mutex;
    // Guarded by m_mutex.
    std::unique_ptr<PocketsphinxDecoder> m_decoder;
    std::chrono::steady_clock::time_point m_lastUsed;
    std::atomic<bool> m_loaded = false;
};

} // namespace murmeli::platform
