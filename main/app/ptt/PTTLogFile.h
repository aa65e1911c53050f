#pragma once

#include <memory>
#include <optional>

#include <QDate>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include "main/app/ptt/PTTSessionLog.h"
#include "main/common/Log.h"

namespace murmeli::app {

/// The push-to-talk log: one file per day in one folder, one JSON object per line, appended as each take ends.
/// Appends run one after another on a thread of the log's own, so the main thread never waits for the disk.
class PTTLogFile final {
public:
    /// "~/.murmeli/logs".
    static QString defaultDirectory();

    /// An empty directory means defaultDirectory().
    explicit PTTLogFile(QString directory = {});
    /// Waits for the appends still queued.
    ~PTTLogFile();
    PTTLogFile(const PTTLogFile&) = delete;
    PTTLogFile& operator=(const PTTLogFile&) = delete;

    const QString& directory() const { return m_directory; }
    /// The day's file: "ptt-" + the date + ".jsonl".
    QString pathFor(const QDate& day) const;

    /// Queues one record for the file of its start's local day; a failure is reported through onLog.
    void append(const PTTSessionLog& record);
    /// Waits up to timeoutMs for the queued appends; whether they are done.
    bool waitForAppends(int timeoutMs);

    /// Appends one line now, on the calling thread; the reason when it could not.
    static std::optional<QString> appendLine(const QString& directory, const QString& path, const QByteArray& line);

    common::LogSink onLog;

private:
    QString m_directory;
    QThreadPool m_pool;
    // Failures come back through it on the owner's thread; they are dropped once the log is gone.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
};

} // namespace murmeli::app
