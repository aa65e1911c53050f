#include "main/voice/preferences/AppSettingsCache.h"

namespace murmeli::voice {

AppSettingsCache::AppSettingsCache(QString filePath) : m_filePath(std::move(filePath)) { }

AppSettings AppSettingsCache::snapshot(const AppSettingsLoader::LogLine& onLog)
{
    // Held across the read on the first call only: later callers wait for that one load rather than repeat it.
    const std::lock_guard lock(m_mutex);
    if (!m_cached) {
        m_cached = AppSettingsLoader::load(m_filePath, onLog);
    }
    return *m_cached;
}

} // namespace murmeli::voice
