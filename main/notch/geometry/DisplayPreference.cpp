#include "main/notch/geometry/DisplayPreference.h"

#include "platform/defaults/Defaults.h"

namespace murmeli::notch {

QList<DisplayPreference> allDisplayPreferences()
{
    return { DisplayPreference::Auto, DisplayPreference::BuiltIn, DisplayPreference::ExScreen };
}

QString toString(DisplayPreference preference)
{
    switch (preference) {
    case DisplayPreference::Auto:
        return QStringLiteral("auto");
    case DisplayPreference::BuiltIn:
        return QStringLiteral("built-in");
    case DisplayPreference::ExScreen:
        return QStringLiteral("ex-screen");
    }
    return QStringLiteral("auto");
}

std::optional<DisplayPreference> displayPreferenceFromString(const QString& text)
{
    for (const DisplayPreference preference : allDisplayPreferences()) {
        if (toString(preference) == text) {
            return preference;
        }
    }
    return std::nullopt;
}

QString label(DisplayPreference preference)
{
    switch (preference) {
    case DisplayPreference::Auto:
        return QStringLiteral("Auto");
    case DisplayPreference::BuiltIn:
        return QStringLiteral("Built-in display");
    case DisplayPreference::ExScreen:
        return QStringLiteral("External display");
    }
    return QStringLiteral("Auto");
}

DisplayPreference displayPreferenceFromUserDefaults(const platform::Defaults& defaults)
{
    const std::optional<QString> stored = defaults.stringValue(QString::fromLatin1(displayPreferenceUdKey));
    return stored ? displayPreferenceFromString(*stored).value_or(DisplayPreference::Auto) : DisplayPreference::Auto;
}

} // namespace murmeli::notch
