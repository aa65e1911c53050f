#include "main/voice/engine/EnterMode.h"

namespace murmeli::voice {

namespace {

// A take this short is a quick command the user wants submitted; a longer one is more likely a draft.
constexpr double autoEnterMaxSeconds = 3.0;

} // namespace

QString toString(EnterMode mode)
{
    switch (mode) {
    case EnterMode::Always:
        return QStringLiteral("always");
    case EnterMode::Never:
        return QStringLiteral("never");
    case EnterMode::Auto:
        return QStringLiteral("auto");
    }
    return {};
}

std::optional<EnterMode> enterModeFromString(const QString& rawValue)
{
    for (const EnterMode mode : { EnterMode::Always, EnterMode::Never, EnterMode::Auto }) {
        if (toString(mode) == rawValue) {
            return mode;
        }
    }
    return std::nullopt;
}

bool sendsEnter(EnterMode mode, double takeSeconds)
{
    switch (mode) {
    case EnterMode::Always:
        return true;
    case EnterMode::Never:
        return false;
    case EnterMode::Auto:
        return takeSeconds <= autoEnterMaxSeconds;
    }
    return false;
}

} // namespace murmeli::voice
