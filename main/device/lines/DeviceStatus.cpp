#include "main/device/lines/DeviceStatus.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace murmeli::device {

namespace {

const QLatin1String srTag("SR:");

// A whole number only: 3.5, "3" and true keep the default, as a reply of another type does.
std::optional<double> wholeNumber(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number) {
        return std::nullopt;
    }
    return number;
}

int intField(const QJsonObject& object, QLatin1String key, int fallback)
{
    const auto number = wholeNumber(object, key);
    if (!number || *number < std::numeric_limits<int>::min() || *number > std::numeric_limits<int>::max()) {
        return fallback;
    }
    return static_cast<int>(*number);
}

// A value outside the unsigned 32-bit range is the firmware's mistake, not a reason to lose the whole reply: it
// is clamped.
std::uint32_t counterField(const QJsonObject& object, QLatin1String key)
{
    const auto number = wholeNumber(object, key);
    if (!number) {
        return 0;
    }
    return static_cast<std::uint32_t>(std::clamp(*number, 0.0, double(std::numeric_limits<std::uint32_t>::max())));
}

} // namespace

std::optional<DeviceStatus> DeviceStatus::decode(const QByteArray& jsonData)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(jsonData, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    DeviceStatus status;
    if (const QJsonValue name = root.value(QLatin1String("name")); name.isString()) {
        status.name = name.toString();
    }
    status.sec = intField(root, QLatin1String("sec"), 0);
    const QJsonObject bat = root.value(QLatin1String("bat")).toObject();
    status.bat.pct = intField(bat, QLatin1String("pct"), -1);
    status.bat.mV = intField(bat, QLatin1String("mV"), 0);
    status.bat.mA = intField(bat, QLatin1String("mA"), 0);
    status.bat.usb = bat.value(QLatin1String("usb")).toBool(false);
    const QJsonObject sys = root.value(QLatin1String("sys")).toObject();
    status.sys.up = counterField(sys, QLatin1String("up"));
    status.sys.heap = counterField(sys, QLatin1String("heap"));
    const QJsonObject stats = root.value(QLatin1String("stats")).toObject();
    status.stats.appr = counterField(stats, QLatin1String("appr"));
    status.stats.deny = counterField(stats, QLatin1String("deny"));
    status.stats.vel = counterField(stats, QLatin1String("vel"));
    status.stats.nap = counterField(stats, QLatin1String("nap"));
    status.stats.lvl = counterField(stats, QLatin1String("lvl"));
    return status;
}

std::optional<DeviceStatus> DeviceStatus::decodeSrLine(const QString& line)
{
    if (!line.startsWith(srTag)) {
        return std::nullopt;
    }
    return decode(line.mid(srTag.size()).toUtf8());
}

QString toString(DeviceStatusError error)
{
    switch (error) {
    case DeviceStatusError::NotConnected:
        return QStringLiteral("notConnected");
    case DeviceStatusError::Timeout:
        return QStringLiteral("timeout");
    case DeviceStatusError::MalformedResponse:
        return QStringLiteral("malformedResponse");
    case DeviceStatusError::Disconnected:
        return QStringLiteral("disconnected");
    }
    return {};
}

} // namespace murmeli::device
