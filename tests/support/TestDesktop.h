#pragma once

#include <optional>

#include <QString>

namespace murmeli::test {

/// Why the test desktop (scripts/desktop) is not around this test, or nullopt when it is. Tests that need a real
/// display, audio or Secret Service skip with this reason.
inline std::optional<QString> testDesktopMissing()
{
    if (qEnvironmentVariable("MURMELI_TEST_DESKTOP") == QLatin1String("1") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        return std::nullopt;
    }
    const QString reason = qEnvironmentVariable("MURMELI_TEST_DESKTOP_UNAVAILABLE");
    if (!reason.isEmpty()) {
        return QStringLiteral("the test desktop could not start: %1").arg(reason);
    }
    return QStringLiteral("not inside the test desktop (run it through bash scripts/test or scripts/desktop run)");
}

} // namespace murmeli::test
