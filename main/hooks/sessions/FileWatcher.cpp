#include "main/hooks/sessions/FileWatcher.h"

#include <QDir>
#include <QFileSystemWatcher>
#include <QTimer>

namespace murmeli::hooks {

FileWatcher::FileWatcher() : m_quiet(std::make_unique<QTimer>()), m_deadline(std::make_unique<QTimer>())
{
    // Both timers live on the owner's thread, like the watcher's signals: the coalescing never races.
    for (QTimer* timer : { m_quiet.get(), m_deadline.get() }) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [this] { fire(); });
    }
    m_quiet->setInterval(coalesceIntervalMs);
    m_deadline->setInterval(maxDelayMs);
}

FileWatcher::~FileWatcher()
{
    stop();
}

bool FileWatcher::start(const QString& directory, std::function<void()> onChange)
{
    stop();
    m_onChange = std::move(onChange);
    QDir().mkpath(directory);
    m_watcher = std::make_unique<QFileSystemWatcher>();
    if (!m_watcher->addPath(directory)) {
        m_watcher.reset();
        return false;
    }
    QObject::connect(
        m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_watcher.get(), [this] { noticeChange(); });
    return true;
}

void FileWatcher::stop()
{
    m_watcher.reset();
    m_quiet->stop();
    m_deadline->stop();
}

void FileWatcher::noticeChange()
{
    m_quiet->start();
    if (!m_deadline->isActive()) {
        m_deadline->start();
    }
}

void FileWatcher::fire()
{
    m_quiet->stop();
    m_deadline->stop();
    // A copy: the callback may restart this watcher, which replaces the stored one while it runs.
    if (const auto onChange = m_onChange) {
        onChange();
    }
}

} // namespace murmeli::hooks
