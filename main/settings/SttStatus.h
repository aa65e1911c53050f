#pragma once

#include <QString>

/// The STT page's status texts, decided from what the page last read of the speech engine and the account.
namespace murmeli::settings::SttStatus {

inline constexpr auto cloudBackendId = "murmeli-cloud";
inline constexpr auto onDeviceBackendId = "apple-stt";

/// "Connecting…", "Active" or "Disconnected" for the streaming session's state; "" for the other states.
QString connectionLabel(const QString& wsStateRaw);
/// The help line of the cloud switch: the on-device fallback, "Sign in required", or the balance (-1 unknown, 0
/// used up) followed by the connection label when there is one.
QString cloudStatusLine(const QString& backendId, bool cloudNotSignedIn, qint64 minutesLeft, const QString& wsStateRaw);
/// The help line of the proxy switch: "host:port" while a proxy is set, else the hint.
QString proxyHelpLine(const QString& host, int port);
/// The help line of the hotwords row; "Unavailable" without the speech engine.
QString hotwordsHelpLine(bool engineAvailable, qsizetype count);

} // namespace murmeli::settings::SttStatus
