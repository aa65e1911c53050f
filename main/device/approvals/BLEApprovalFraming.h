#pragma once

#include <optional>

#include <QString>

#include "main/hooks/approvals/ApprovalTypes.h"

/// The approval lines: the "Q:" prompt with its warning and cancel forms, the device's "R:" decision and its "RC:"
/// fold. Pure functions.
namespace murmeli::device::BLEApprovalFraming {

/// The longest id a prompt carries, in user-perceived characters.
inline constexpr int idLimit = 16;

/// A decision the device sent: the id as it came and what was decided.
struct Response final {
    QString toolUseId;
    hooks::ApprovalDecision decision;

    friend bool operator==(const Response&, const Response&) = default;
};

/// The id as the prompt shows it: cleaned, then cut to 16 characters ending in "…" when longer.
QString idField(const QString& toolUseId);

/// "Q:id,tool,preview", or the long form with session, priority, queued count and reason when any of them says
/// something.
QString buildQuery(const hooks::ApprovalRequest& request, int queuedCount);
/// "Q:id,warn".
QString buildWarning(const QString& toolUseId);
/// "Q:id,cancel".
QString buildCancel(const QString& toolUseId);

/// "R:id,deny" or "R:id,allow[,scope]"; nullopt for any other line, an empty id or an unknown verb.
std::optional<Response> parseResponse(const QString& line);
/// The id of "RC:id[,...]"; nullopt for any other line or an empty id.
std::optional<QString> parseCollapse(const QString& line);

} // namespace murmeli::device::BLEApprovalFraming
