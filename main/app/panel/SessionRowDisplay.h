#pragma once

#include <QDateTime>
#include <QString>

// Pure helpers that turn a session's raw fields into the short texts and flags of its row.
namespace murmeli::app {

/// How long ago updatedAt was, in whole units: "now" under a minute (and for a time ahead of now), then "5m",
/// "3h", "2d".
QString sessionRowAgeBadge(const QDateTime& updatedAt, const QDateTime& now);

/// A working directory on another machine: an "ssh://" address, or a "host:path" form without a leading "/".
bool sessionRowIsRemote(const QString& cwd);

} // namespace murmeli::app
