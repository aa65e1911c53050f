#include "main/device/approvals/BLEApprovalFraming.h"

#include <algorithm>

#include <QStringList>

#include "main/common/TextUtils.h"
#include "main/device/lines/DeviceText.h"

namespace murmeli::device::BLEApprovalFraming {

namespace {

using DeviceText::cleanAndCutWithEllipsis;
using hooks::ApprovalDecision;
using hooks::PermissionScope;

constexpr int toolLimit = 12;
constexpr int previewLimit = 120;
constexpr int sessionLimit = 8;
constexpr int reasonLimit = 32;
constexpr int maxPriority = 9;
constexpr int maxQueued = 99;

const QLatin1String responseTag("R:");
const QLatin1String collapseTag("RC:");

PermissionScope scopeFromWord(const QString& word)
{
    if (word == QLatin1String("session")) {
        return PermissionScope::Session;
    }
    if (word == QLatin1String("local") || word == QLatin1String("localSettings")) {
        return PermissionScope::LocalSettings;
    }
    if (word == QLatin1String("project") || word == QLatin1String("projectSettings")) {
        return PermissionScope::ProjectSettings;
    }
    if (word == QLatin1String("user") || word == QLatin1String("userSettings")) {
        return PermissionScope::UserSettings;
    }
    // "once", an empty field and any word the device may add later all mean the narrowest allow.
    return PermissionScope::Once;
}

} // namespace

QString idField(const QString& toolUseId)
{
    return cleanAndCutWithEllipsis(toolUseId, idLimit);
}

QString buildQuery(const hooks::ApprovalRequest& request, int queuedCount)
{
    const QChar comma = QLatin1Char(',');
    const QString id = idField(request.toolUseId);
    // The device shows a control in the name no more than it obeys it.
    const QString tool = cleanAndCutWithEllipsis(
        common::text::visible(DeviceText::clean(request.toolName), common::text::Breaks::Escape), toolLimit);
    // Another tool's preview is its name.
    const QString preview
        = cleanAndCutWithEllipsis(common::text::visible(DeviceText::clean(request.commandPreview)), previewLimit);
    const QString session = cleanAndCutWithEllipsis(request.sessionId, sessionLimit);
    const QString reason
        = cleanAndCutWithEllipsis(request.reason.isEmpty() ? QStringLiteral("-") : request.reason, reasonLimit);

    const QString head = QStringLiteral("Q:") + id + comma + tool + comma + preview;
    const bool plain = session.isEmpty() && request.priority < 1 && queuedCount < 1 && reason == QLatin1String("-");
    if (plain) {
        return head;
    }
    return head + comma + session + comma + QString::number(std::clamp(request.priority, 0, maxPriority)) + comma
        + QString::number(std::clamp(queuedCount, 0, maxQueued)) + comma + reason;
}

QString buildWarning(const QString& toolUseId)
{
    return QStringLiteral("Q:") + idField(toolUseId) + QStringLiteral(",warn");
}

QString buildCancel(const QString& toolUseId)
{
    return QStringLiteral("Q:") + idField(toolUseId) + QStringLiteral(",cancel");
}

std::optional<Response> parseResponse(const QString& line)
{
    if (!line.startsWith(responseTag) || line.startsWith(collapseTag)) {
        return std::nullopt;
    }
    const QStringList fields = line.mid(responseTag.size()).split(QLatin1Char(','));
    if (fields.size() < 2 || fields.at(0).isEmpty()) {
        return std::nullopt;
    }
    const QString& verb = fields.at(1);
    if (verb == QLatin1String("deny")) {
        return Response { fields.at(0), ApprovalDecision::deny() };
    }
    if (verb == QLatin1String("allow")) {
        const PermissionScope scope = fields.size() > 2 ? scopeFromWord(fields.at(2)) : PermissionScope::Once;
        return Response { fields.at(0), ApprovalDecision::allow(scope) };
    }
    return std::nullopt;
}

std::optional<QString> parseCollapse(const QString& line)
{
    if (!line.startsWith(collapseTag)) {
        return std::nullopt;
    }
    const QString id = line.mid(collapseTag.size()).section(QLatin1Char(','), 0, 0);
    if (id.isEmpty()) {
        return std::nullopt;
    }
    return id;
}

} // namespace murmeli::device::BLEApprovalFraming
