#include "main/cloud/api/JsonFields.h"

#include <cmath>

#include <QJsonDocument>

namespace murmeli::cloud::JsonFields {

std::optional<QJsonObject> object(const QByteArray& body)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

std::optional<qint64> integer(const QJsonValue& value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = std::trunc(value.toDouble());
    // 2^63 itself does not fit, so the upper bound is exclusive.
    constexpr double bound = 9223372036854775808.0;
    if (!std::isfinite(number) || number >= bound || number < -bound) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

} // namespace murmeli::cloud::JsonFields
