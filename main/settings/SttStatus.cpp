#include "main/settings/SttStatus.h"

namespace murmeli::settings::SttStatus {

QString connectionLabel(const QString& wsStateRaw)
{
    if (wsStateRaw == QLatin1String("connecting")) {
        return QStringLiteral("Connecting…");
    }
    if (wsStateRaw == QLatin1String("ready") || wsStateRaw == QLatin1String("inTurn")) {
        return QStringLiteral("Active");
    }
    if (wsStateRaw == QLatin1String("disconnected")) {
        return QStringLiteral("Disconnected");
    }
    return {};
}

QString cloudStatusLine(const QString& backendId, bool cloudNotSignedIn, qint64 minutesLeft, const QString& wsStateRaw)
{
    if (backendId == QLatin1String(onDeviceBackendId)) {
        return QStringLiteral("Off — falling back to on-device ASR (free · offline).");
    }
    if (cloudNotSignedIn) {
        return QStringLiteral("Sign in required");
    }
    const QString balance = minutesLeft < 0 ? QStringLiteral("Checking balance…")
        : minutesLeft == 0                  ? QStringLiteral("0 minutes — refill to continue")
                                            : QString::number(minutesLeft) + QStringLiteral(" minutes remaining");
    const QString label = connectionLabel(wsStateRaw);
    return label.isEmpty() ? balance : balance + QStringLiteral(" · ") + label;
}

QString proxyHelpLine(const QString& host, int port)
{
    if (!host.isEmpty() && port > 0) {
        return host + QLatin1Char(':') + QString::number(port);
    }
    return QStringLiteral("Off. Use only if WebSocket is blocked on this network.");
}

QString hotwordsHelpLine(bool engineAvailable, qsizetype count)
{
    if (!engineAvailable) {
        return QStringLiteral("Unavailable");
    }
    if (count == 0) {
        return QStringLiteral("No custom terms · editing temporarily read-only (I-325). Auto-extracted hotwords from "
                              "recent work still apply.");
    }
    return QString::number(count) + QStringLiteral(" custom term") + (count == 1 ? QString() : QStringLiteral("s"))
        + QStringLiteral(" · editing temporarily read-only (I-325)");
}

} // namespace murmeli::settings::SttStatus
