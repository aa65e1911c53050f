#pragma once

#include <mutex>
#include <optional>

#include <QString>

#include "main/voice/preferences/AppSettings.h"
#include "main/voice/preferences/AppSettingsLoader.h"

namespace murmeli::voice {

/// The process's one copy of the settings file: read on the first snapshot and kept until the process ends, so an
/// edit takes effect at the next start. The controller owns the instance and hands it to its readers. Safe to use
/// from any thread.
class AppSettingsCache final {
public:
    /// A cache of the file at filePath; nothing is read until the first snapshot.
    explicit AppSettingsCache(QString filePath = AppSettingsLoader::configPath());
    AppSettingsCache(const AppSettingsCache&) = delete;
    AppSettingsCache& operator=(const AppSettingsCache&) = delete;

    /// The cached settings, loading the file on the first call (onLog hears about an unusable file then). Every
    /// caller gets the same value; the first load happens once however many threads ask at the same time.
    AppSettings snapshot(const AppSettingsLoader::LogLine& onLog = {});

    const QString& filePath() const { return m_filePath; }

private:
    const QString m_filePath;
    std::mutex m_mutex;
    std::optional<AppSettings> m_cached;
};

} // namespace murmeli::voice
