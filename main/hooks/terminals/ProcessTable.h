#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include "main/common/ProcessRunner.h"

namespace murmeli::hooks {

/// One process of the listing.
struct ProcessRow final {
    QString pid;
    QString ppid;
    std::optional<QString> tty; // "/dev/" + the terminal name; nullopt for none
    QString command; // the full command line

    friend bool operator==(const ProcessRow&, const ProcessRow&) = default;
};

/// Every process of the machine at one moment, from one `ps -Ao pid=,ppid=,tty=,command=` listing: what agent
/// discovery and the stale-file cleanup both read.
class ProcessTable final {
public:
    /// A command's standard output as text, or nullopt when it could not run, ran too long or was not UTF-8.
    using RunCommand = std::function<std::optional<QString>(const QString& program, const QStringList& args)>;
    /// Reads a table without blocking its caller; nullopt when none could be had.
    using AsyncReader = std::function<QCoro::Task<std::optional<ProcessTable>>()>;

    /// How long the listing may take before ps is stopped.
    static constexpr int timeLimitMs = 5000;

    /// The rows of a listing, in its order; lines without four columns are skipped. takenAt is when the listing
    /// was started: a process or file younger than that may be missing from it.
    static ProcessTable parse(const QString& listing, const QDateTime& takenAt = QDateTime::currentDateTimeUtc());

    /// ps run by the given (blocking) runner. Nullopt when it gave nothing or no process at all, which no real
    /// listing does: ps always lists itself.
    static std::optional<ProcessTable> read(const RunCommand& run);

    /// ps run by the asynchronous runner with the time limit; nullopt as for read(), and also when ps failed.
    static QCoro::Task<std::optional<ProcessTable>> readAsync(
        common::CommandRunner runner = common::defaultCommandRunner());

    /// The executable that lists processes, and its arguments.
    static QString psProgram();
    static QStringList psArguments();

    const std::vector<ProcessRow>& rows() const { return m_rows; }
    /// The row of a pid; the first one should a listing ever repeat a pid.
    const ProcessRow* find(const QString& pid) const;
    const QDateTime& takenAt() const { return m_takenAt; }

private:
    static std::optional<ProcessTable> fromListing(const std::optional<QString>& listing, const QDateTime& takenAt);

    std::vector<ProcessRow> m_rows;
    QHash<QString, qsizetype> m_byPid;
    QDateTime m_takenAt;
};

} // namespace murmeli::hooks
