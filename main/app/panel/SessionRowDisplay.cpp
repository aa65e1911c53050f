#include "main/app/panel/SessionRowDisplay.h"

namespace murmeli::app {

QString sessionRowAgeBadge(const QDateTime& updatedAt, const QDateTime& now)
{
    // Whole seconds, truncated toward zero; an invalid date counts as no time at all.
    const qint64 seconds = updatedAt.msecsTo(now) / 1000;
    if (seconds < 60) {
        return QStringLiteral("now");
    }
    if (seconds < 3600) {
        return QString::number(seconds / 60) + QLatin1Char('m');
    }
    if (seconds < 86400) {
        return QString::number(seconds / 3600) + QLatin1Char('h');
    }
    return QString::number(seconds / 86400) + QLatin1Char('d');
}

bool sessionRowIsRemote(const QString& cwd)
{
    if (cwd.startsWith(QLatin1String("ssh://"))) {
        return true;
    }
    if (cwd.startsWith(QLatin1Char('/'))) {
        return false;
    }
    return cwd.contains(QLatin1Char(':'));
}

} // namespace murmeli::app
