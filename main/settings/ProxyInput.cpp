#include "main/settings/ProxyInput.h"

#include <algorithm>

#include "main/common/TextUtils.h"

namespace murmeli::settings {

ProxyInput ProxyInput::parse(const QString& hostText, const QString& portText)
{
    ProxyInput input;
    input.host = common::text::trimSpacesAndTabs(hostText);
    const QString port = common::text::trimSpacesAndTabs(portText);
    bool ok = false;
    // Only digits after the sign: toLongLong alone would also take white space inside.
    const QString digits = port.startsWith(QLatin1Char('+')) || port.startsWith(QLatin1Char('-')) ? port.mid(1) : port;
    const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    const qint64 value = allDigits ? port.toLongLong(&ok, 10) : 0;
    input.port = ok ? value : 0;
    return input;
}

} // namespace murmeli::settings
