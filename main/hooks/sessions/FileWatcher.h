#pragma once

#include <functional>
#include <memory>

#include <QString>

class QFileSystemWatcher;
class QTimer;

namespace murmeli::hooks {

/// Reports changes in one directory on the owner's thread: a burst of changes gives one callback 50 ms after its
/// last change, and a steady stream still gives one at least every maxDelayMs, so the owner is never starved.
class FileWatcher final {
public:
    static constexpr int coalesceIntervalMs = 50;
    static constexpr int maxDelayMs = 75;

    FileWatcher();
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    /// Watches the directory (creating it when absent); a second call replaces the first. False when it cannot be
    /// watched, in which case the callback never fires.
    bool start(const QString& directory, std::function<void()> onChange);
    /// No callback fires after this, not even for a change already noticed.
    void stop();

private:
    void noticeChange();
    void fire();

    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<QTimer> m_quiet;
    std::unique_ptr<QTimer> m_deadline;
    std::function<void()> m_onChange;
};

} // namespace murmeli::hooks
