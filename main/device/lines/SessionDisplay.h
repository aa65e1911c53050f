#pragma once

#include <QString>

#include "main/hooks/status/ClaudeStatus.h"

// How the device shows a session: its LED and its display line.
namespace murmeli::device::SessionDisplay {

// Freshness is judged at nowSecs, whole seconds since 1970 from the caller's clock.

/// The device LED's colour word: "red", "orange", "yellow", "green" or "blue".
QString ledColor(const hooks::ClaudeStatus& status, qint64 nowSecs);
/// The device LED's mode letter: "k" for attention, "b" for busy, "s" for idle or quiet.
QString ledMode(const hooks::ClaudeStatus& status, qint64 nowSecs);
/// The device's display line: "D:" and fifteen comma-separated fields, without a line terminator.
QString oledCommand(const hooks::ClaudeStatus& status, const QString& toolSource = {}, const QString& sessionName = {},
    int runningAgents = 0, int waitingAgents = 0, const QString& todoSummary = {}, qint64 tokens = 0,
    qint64 tokensToday = 0);
/// "{running/waiting}" with both counts clamped to 0...999.
QString formatAgentsField(int running, int waiting);

} // namespace murmeli::device::SessionDisplay
