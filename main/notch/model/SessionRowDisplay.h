#pragma once

#include <optional>

#include <QDateTime>
#include <QString>

#include "main/notch/model/SessionState.h"

// Pure helpers that turn a session's raw fields into the short texts and flags of its row.
namespace murmeli::notch {

/// Whether a row shows expanded: active while it asks for the user or has an error, and while it works and was
/// updated less than sessionRowActiveWindowMs ago.
enum class SessionRowPresence { Active, Inactive };

/// How long a working session counts as active after its last update.
inline constexpr qint64 sessionRowActiveWindowMs = 300'000;

SessionRowPresence sessionRowPresence(const SessionState& state, const QDateTime& updatedAt, const QDateTime& now);

/// How long ago updatedAt was, in whole units: "now" under a minute (and for a time ahead of now), then "5m",
/// "3h", "2d".
QString sessionRowAgeBadge(const QDateTime& updatedAt, const QDateTime& now);

/// A working directory on another machine: an "ssh://" address, or a "host:path" form without a leading "/".
bool sessionRowIsRemote(const QString& cwd);

/// What the tool is doing in a few words ("$ make test", "Reading main.cpp", "Searching"); absent without a tool.
std::optional<QString> sessionRowActivityLine(const QString& toolName, const QString& commandPreview);

/// The title of a tool call's command block: "Bash", "Question", "Plan", ..., else the tool name capitalised.
QString sessionRowCommandLabel(const QString& toolName);

} // namespace murmeli::notch
