#include "main/hooks/status/ClaudeStatus.h"

#include <cmath>
#include <limits>

#include <QDateTime>
#include <QFileInfo>
#include <QJsonObject>

#include "main/common/TextUtils.h"
#include "main/hooks/sessions/SessionKey.h"
#include "main/hooks/sessions/SmallFile.h"

namespace murmeli::hooks {

namespace {

// Whole numbers only; a fractional or out-of-range number counts as absent.
std::optional<qint64> exactInteger(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 9.0e15) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

int toInt(qint64 value)
{
    return static_cast<int>(
        std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A percentage the agent may write with a fraction (42.5): truncated toward zero, clamped into range.
std::optional<int> truncatedPercent(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double d = value.toDouble();
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    return static_cast<int>(std::clamp(std::trunc(d), -1.0e9, 1.0e9));
}

void readInt(const QJsonObject& object, const char* key, int& field)
{
    if (const auto v = exactInteger(object.value(QLatin1String(key)))) {
        field = toInt(*v);
    }
}

void readString(const QJsonObject& object, const char* key, QString& field)
{
    const QJsonValue v = object.value(QLatin1String(key));
    if (v.isString()) {
        field = v.toString();
    }
}

void applyStatusObject(const QJsonObject& root, ClaudeStatus& status)
{
    const QJsonObject model = root.value(QLatin1String("model")).toObject();
    readString(model, "display_name", status.model);

    const QJsonObject context = root.value(QLatin1String("context_window")).toObject();
    if (const auto percent = truncatedPercent(context.value(QLatin1String("used_percentage")))) {
        status.contextPercent = *percent;
    }
    readInt(context, "context_window_size", status.contextWindowSize);
    const QJsonObject usage = context.value(QLatin1String("current_usage")).toObject();
    readInt(usage, "input_tokens", status.inputTokens);
    readInt(usage, "output_tokens", status.outputTokens);
    readInt(usage, "cache_read_input_tokens", status.cacheReadTokens);

    const QJsonObject cost = root.value(QLatin1String("cost")).toObject();
    const QJsonValue total = cost.value(QLatin1String("total_cost_usd"));
    if (total.isDouble() && std::isfinite(total.toDouble())) {
        status.costUSD = total.toDouble();
    }
    if (const auto v = exactInteger(cost.value(QLatin1String("total_duration_ms")))) {
        status.totalDurationMs = *v;
    }
    readInt(cost, "total_lines_added", status.linesAdded);
    readInt(cost, "total_lines_removed", status.linesRemoved);

    const QJsonObject rates = root.value(QLatin1String("rate_limits")).toObject();
    if (const auto v = truncatedPercent(
            rates.value(QLatin1String("five_hour")).toObject().value(QLatin1String("used_percentage")))) {
        status.rate5h = *v;
    }
    if (const auto v = truncatedPercent(
            rates.value(QLatin1String("seven_day")).toObject().value(QLatin1String("used_percentage")))) {
        status.rate7d = *v;
    }

    const QJsonObject workspace = root.value(QLatin1String("workspace")).toObject();
    const QJsonValue cwd = workspace.value(QLatin1String("current_dir"));
    if (cwd.isString()) {
        status.cwd = cwd.toString();
        status.project = common::text::lastPathComponent(status.cwd);
    }
    readString(workspace, "project_dir", status.projectDir);
    readString(root, "version", status.version);
    readString(root, "tool", status.tool);
    readString(root, "transcript_path", status.transcriptPath);
}

} // namespace

std::optional<ClaudeStatus> ClaudeStatus::read(const std::optional<QString>& session, const QString& directory)
{
    const common::SystemClock clock;
    return read(session, directory, clock);
}

std::optional<ClaudeStatus> ClaudeStatus::read(
    const std::optional<QString>& session, const StatusDirectory::Access& directory, const QDateTime& now)
{
    std::function<std::optional<ClaudeStatus>()> read
        = [session, path = directory.path(), now] { return ClaudeStatus::read(session, path, now); };
    return directory.call(std::move(read)).value_or(std::nullopt);
}

std::optional<ClaudeStatus> ClaudeStatus::read(
    const std::optional<QString>& session, const QString& directory, const common::Clock& clock)
{
    return read(session, directory, clock.now());
}

std::optional<ClaudeStatus> ClaudeStatus::read(
    const std::optional<QString>& session, const QString& directory, const QDateTime& nowTime)
{
    // A key that could climb out of the directory is no key of ours.
    if (session && !session->isEmpty() && !SessionKey::isSafe(*session)) {
        return std::nullopt;
    }
    const QString base = directory + QLatin1Char('/');
    const QString statusPath = session ? base + *session + StatusFiles::suffix(StatusFileKind::Status)
                                       : base + StatusFiles::baseName(StatusFileKind::Status);
    const auto root = SmallFile::readObject(statusPath);
    if (!root) {
        return std::nullopt;
    }

    ClaudeStatus status;
    if (session) {
        status.sessionId = *session;
    } else {
        // A session_id whose key we would not write files for leaves the global files in use.
        const QJsonValue id = root->value(QLatin1String("session_id"));
        if (const auto key = id.isString() ? SessionKey::fromSessionId(id.toString()) : std::nullopt) {
            status.sessionId = key->text();
        }
    }
    applyStatusObject(*root, status);

    if (status.transcriptPath.isEmpty() && session) {
        if (const auto text = SmallFile::read(base + *session + StatusFiles::suffix(StatusFileKind::TranscriptPath))) {
            status.transcriptPath = QString::fromUtf8(*text).trimmed();
        }
    }

    const QDateTime modified = QFileInfo(statusPath).lastModified();
    status.lastStatusTs = modified.isValid() ? modified.toSecsSinceEpoch() : 0;

    const qint64 now = nowTime.toSecsSinceEpoch();
    // Without a session the global files stand in for the session's own.
    const auto fileOf = [&](StatusFileKind kind) {
        return base
            + (status.sessionId.isEmpty() ? QString(StatusFiles::baseName(kind))
                                          : status.sessionId + StatusFiles::suffix(kind));
    };

    if (const auto activity = SmallFile::readObject(fileOf(StatusFileKind::Activity))) {
        const qint64 ts = exactInteger(activity->value(QLatin1String("ts"))).value_or(0);
        if (now - ts < activityExpirySeconds) {
            readString(*activity, "activity", status.activity);
            readString(*activity, "tool", status.activityTool);
        }
    }

    if (const auto notify = SmallFile::readObject(fileOf(StatusFileKind::Notify))) {
        const qint64 ts = exactInteger(notify->value(QLatin1String("ts"))).value_or(0);
        const QString type = notify->value(QLatin1String("type")).toString();
        const qint64 expiry = type == QLatin1String("working") ? workingNotifyExpirySeconds : notifyExpirySeconds;
        if (now - ts < expiry) {
            status.needsAttention = type == QLatin1String("permission");
            status.isIdle = type == QLatin1String("idle");
            status.isWorkingSignal = type == QLatin1String("working");
            status.isCompact = type == QLatin1String("compact");
            status.isError = type == QLatin1String("error");
            readString(*notify, "message", status.pendingMessage);
        }
    }
    return status;
}

bool ClaudeStatus::isWorking(qint64 nowSecs) const
{
    if (isIdle || needsAttention) {
        return false;
    }
    if (!activity.isEmpty() || isWorkingSignal) {
        return true;
    }
    if (lastStatusTs < 1) {
        return false;
    }
    return nowSecs - lastStatusTs < statusFreshnessSeconds;
}

bool ClaudeStatus::isWorkingEffective(const TranscriptData& transcript, qint64 nowSecs) const
{
    if (isIdle || needsAttention) {
        return false;
    }
    if (!transcript.runningTools().isEmpty()) {
        return true;
    }
    if (transcript.lastUpdateTs > 0 && nowSecs - transcript.lastUpdateTs < transcriptFreshnessSeconds) {
        return true;
    }
    return isWorking(nowSecs);
}

} // namespace murmeli::hooks
