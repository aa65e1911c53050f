#pragma once

#include <optional>

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

/// Reading the account service's JSON replies, shared by its clients.
namespace murmeli::cloud::JsonFields {

/// The body as a JSON object; nullopt when it is no JSON or another shape.
std::optional<QJsonObject> object(const QByteArray& body);

/// The integer value of a JSON number, cut toward zero; nullopt for any other value and beyond 64 bits.
std::optional<qint64> integer(const QJsonValue& value);

} // namespace murmeli::cloud::JsonFields
