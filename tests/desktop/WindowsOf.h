#pragma once

#include <QProcess>
#include <QStringList>

namespace murmeli::test {

/// The visible windows of the process pid whose name matches the pattern (both conditions: tests in parallel show
/// windows of the same names).
inline QStringList windowsOf(qint64 pid, const QString& namePattern)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(pid), QStringLiteral("--name"), namePattern });
    if (!search.waitForFinished(5000)) {
        return {};
    }
    return QString::fromUtf8(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace murmeli::test
