#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QTimeZone>

/// The host's one-off lines: time sync, status query and agent event.
namespace murmeli::device::HostLines {

/// "TS:" + Unix seconds + ":" + the zone's offset from UTC at that moment, in seconds.
QString timeSync(const QDateTime& now, const QTimeZone& zone);

/// "S?", the status query.
QString statusQuery();

/// "E:" + the event payload: type and data without separators, and the summary behind "|" cut to 80 UTF-8 bytes.
QString event(const QString& type, const QString& data, const std::optional<QString>& summary);

} // namespace murmeli::device::HostLines
