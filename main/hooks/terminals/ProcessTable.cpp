#include "main/hooks/terminals/ProcessTable.h"

#include <chrono>

#include <QFileInfo>

#include "main/common/TextUtils.h"

namespace murmeli::hooks {

namespace {

std::optional<QString> normalizedTTY(const QString& column)
{
    const QString tty = column.trimmed();
    // procps prints "?" where the BSD listing prints "??".
    if (tty.isEmpty() || tty == u"??" || tty == u"?") {
        return std::nullopt;
    }
    if (tty.startsWith(u"/dev/")) {
        return tty;
    }
    return QStringLiteral("/dev/") + tty;
}

// Three columns split at runs of white space; the rest of the line, trimmed, is the command.
std::optional<ProcessRow> parseLine(const QString& rawLine)
{
    const QString line = rawLine.trimmed();
    QString fields[3];
    qsizetype pos = 0;
    for (QString& field : fields) {
        qsizetype end = pos;
        while (end < line.size() && !line[end].isSpace()) {
            ++end;
        }
        field = line.mid(pos, end - pos);
        pos = end;
        while (pos < line.size() && line[pos].isSpace()) {
            ++pos;
        }
        if (pos >= line.size()) {
            return std::nullopt;
        }
    }
    const QString command = line.mid(pos).trimmed();
    if (command.isEmpty()) {
        return std::nullopt;
    }
    return ProcessRow { fields[0], fields[1], normalizedTTY(fields[2]), command };
}

} // namespace

ProcessTable ProcessTable::parse(const QString& listing, const QDateTime& takenAt)
{
    ProcessTable table;
    table.m_takenAt = takenAt;
    for (const QString& line : common::text::nonEmptyLines(listing)) {
        if (auto row = parseLine(line)) {
            // Should a listing ever repeat a pid, the first row keeps it.
            if (!table.m_byPid.contains(row->pid)) {
                table.m_byPid.insert(row->pid, static_cast<qsizetype>(table.m_rows.size()));
            }
            table.m_rows.push_back(std::move(*row));
        }
    }
    return table;
}

const ProcessRow* ProcessTable::find(const QString& pid) const
{
    const auto found = m_byPid.constFind(pid);
    return found == m_byPid.constEnd() ? nullptr : &m_rows[static_cast<std::size_t>(*found)];
}

QString ProcessTable::psProgram()
{
    return QFileInfo::exists(QStringLiteral("/bin/ps")) ? QStringLiteral("/bin/ps") : QStringLiteral("/usr/bin/ps");
}

QStringList ProcessTable::psArguments()
{
    return { QStringLiteral("-Ao"), QStringLiteral("pid=,ppid=,tty=,command=") };
}

std::optional<ProcessTable> ProcessTable::fromListing(const std::optional<QString>& listing, const QDateTime& takenAt)
{
    if (!listing) {
        return std::nullopt;
    }
    ProcessTable table = parse(*listing, takenAt);
    if (table.m_rows.empty()) {
        return std::nullopt;
    }
    return table;
}

std::optional<ProcessTable> ProcessTable::read(const RunCommand& run)
{
    if (!run) {
        return std::nullopt;
    }
    const QDateTime takenAt = QDateTime::currentDateTimeUtc();
    return fromListing(run(psProgram(), psArguments()), takenAt);
}

QCoro::Task<std::optional<ProcessTable>> ProcessTable::readAsync(common::CommandRunner runner)
{
    if (!runner) {
        co_return std::nullopt;
    }
    common::ProcessRequest request;
    request.program = psProgram();
    request.arguments = psArguments();
    request.timeout = std::chrono::milliseconds(timeLimitMs);
    const QDateTime takenAt = QDateTime::currentDateTimeUtc();
    const common::ProcessResult result = co_await runner(std::move(request));
    // A listing that was cut short, or a ps that failed, would make running processes look gone.
    if (!result.succeeded() || result.outputTruncated) {
        co_return std::nullopt;
    }
    co_return fromListing(common::text::decodeUtf8Strictly(result.standardOutput), takenAt);
}

} // namespace murmeli::hooks
