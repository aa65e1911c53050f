#include "platform/recognizer/pocketsphinx/PocketsphinxDecoderKeeper.h"

#include <utility>

#include <malloc.h>

namespace murmeli::platform {

PocketsphinxDecoderKeeper::Lease::Lease(PocketsphinxDecoderKeeper& keeper, std::unique_lock<std::mutex> lock)
    : m_keeper(&keeper), m_lock(std::move(lock))
{
    if (!m_keeper->m_decoder) {
        m_keeper->m_decoder = std::make_unique<PocketsphinxDecoder>(m_keeper->m_model);
        m_keeper->m_loaded = true;
    }
    if (m_keeper->m_decoder->isValid()) {
        m_decoder = m_keeper->m_decoder.get();
    }
}

PocketsphinxDecoderKeeper::Lease::~Lease()
{
    if (m_lock.owns_lock()) {
        m_keeper->m_lastUsed = m_keeper->m_clock();
    }
}

PocketsphinxDecoderKeeper::Lease PocketsphinxDecoderKeeper::lease()
{
    std::unique_lock lock(m_mutex);
    m_lastUsed = m_clock();
    return Lease(*this, std::move(lock));
}

bool PocketsphinxDecoderKeeper::unloadIfIdle(std::chrono::milliseconds idleTime)
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return false;
    }
    if (!m_decoder) {
        return true;
    }
    if (m_clock() - m_lastUsed < idleTime) {
        return false;
    }
    m_decoder.reset();
    m_loaded = false;
    // The model is thousands of small blocks; freed, they stay in the heaps of the threads that loaded them unless
    // handed back.
    malloc_trim(0);
    return true;
}

} // namespace murmeli::platform
