#pragma once

#include <QJsonObject>
#include <QString>

#include "main/hooks/approvals/ApprovalTypes.h"
#include "main/notch/model/SessionRow.h"

/// What a held permission request would do, written out for the approval card in full: a shell command itself, or
/// the fields of another tool's input that say what it touches (the file and what goes into it, the address, the
/// query), then any other field, so that nothing "Yes" allows stays out of sight. Pure; safe on any thread.
namespace murmeli::notch::ApprovalDetail {

/// The most text the card lays out. A longer text keeps its beginning and its end (where a chained command puts
/// its last step) and says in its middle how much was left out.
inline constexpr qsizetype maxCharacters = 64 * 1024;

/// The request as its card shows it.
PendingApproval of(const hooks::ApprovalRequest& request);

/// The tool input written out, uncut: "$ " and the command for a shell; else one "key: value" per field, the
/// telling ones first, a value of several lines starting on the line after its key.
QString describe(const QString& toolName, const QJsonObject& toolInput);

} // namespace murmeli::notch::ApprovalDetail
