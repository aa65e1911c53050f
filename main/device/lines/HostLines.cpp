#include "main/device/lines/HostLines.h"

#include "main/hooks/status/SummaryExtractor.h"

namespace murmeli::device::HostLines {

QString timeSync(const QDateTime& now, const QTimeZone& zone)
{
    return QStringLiteral("TS:") + QString::number(now.toSecsSinceEpoch()) + QLatin1Char(':')
        + QString::number(zone.isValid() ? zone.offsetFromUtc(now) : 0);
}

QString statusQuery()
{
    return QStringLiteral("S?");
}

QString event(const QString& type, const QString& data, const std::optional<QString>& summary)
{
    return QStringLiteral("E:") + hooks::SummaryExtractor::buildEventPayload(type, data, summary);
}

} // namespace murmeli::device::HostLines
