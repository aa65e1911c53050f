#pragma once

#include <optional>

#include <QString>

/// The check a WebSocket proxy must pass before it is stored. An empty host with port 0 is the switched-off proxy
/// and passes; anything else needs a bare host name or address and a port from 1 to 65535.
namespace murmeli::voice::ProxySetting {

/// Longest host accepted: the longest DNS name.
inline constexpr qsizetype maxHostLength = 253;

/// nullopt when host and port may be stored; otherwise the sentence that tells the user what is wrong.
std::optional<QString> validate(const QString& host, qint64 port);

} // namespace murmeli::voice::ProxySetting
