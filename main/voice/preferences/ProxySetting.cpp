#include "main/voice/preferences/ProxySetting.h"

#include <algorithm>

namespace murmeli::voice::ProxySetting {

namespace {

constexpr qint64 maxPort = 65535;

bool hasSpaceOrControl(const QString& host)
{
    return std::any_of(
        host.begin(), host.end(), [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

} // namespace

std::optional<QString> validate(const QString& host, qint64 port)
{
    if (host.isEmpty()) {
        if (port == 0) {
            return std::nullopt;
        }
        return QStringLiteral("Proxy host is empty; enter a host name or address, or switch the proxy off");
    }
    if (hasSpaceOrControl(host)) {
        return QStringLiteral("Proxy host must not contain spaces or control characters");
    }
    if (host.contains(QLatin1String("://"))) {
        return QStringLiteral("Proxy host must not include a scheme such as \"http://\"; enter the host name only");
    }
    if (host.contains(QLatin1Char('/'))) {
        return QStringLiteral("Proxy host must not include a path; enter the host name only");
    }
    if (host.size() > maxHostLength) {
        return QStringLiteral("Proxy host is longer than %1 characters").arg(maxHostLength);
    }
    if (port < 1 || port > maxPort) {
        return QStringLiteral("Proxy port must be between 1 and %1, not %2").arg(maxPort).arg(port);
    }
    return std::nullopt;
}

} // namespace murmeli::voice::ProxySetting
