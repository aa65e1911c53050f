#pragma once

#include <QString>

namespace murmeli::settings {

/// What the user typed into the proxy dialog, as the speech engine is to store it: both fields trimmed of spaces and
/// tabs, the port read as a decimal whole number with an optional sign (0 when it is not one).
struct ProxyInput final {
    QString host;
    qint64 port = 0;

    bool operator==(const ProxyInput&) const = default;

    static ProxyInput parse(const QString& hostText, const QString& portText);
};

} // namespace murmeli::settings
