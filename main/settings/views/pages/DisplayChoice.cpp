#include "main/settings/views/pages/DisplayChoice.h"

#include "main/notch/geometry/DisplayPreference.h"
#include "main/notch/geometry/NotchScreenPreference.h"
#include "platform/defaults/Defaults.h"

namespace murmeli::settings::DisplayChoice {

QList<DisplayOption> options(const QList<platform::ScreenInfo>& screens)
{
    QList<DisplayOption> result { DisplayOption { notch::label(notch::DisplayPreference::Auto), std::nullopt, false } };
    for (const platform::ScreenInfo& screen : screens) {
        if (!screen.displayNumber) {
            continue;
        }
        result.append(
            DisplayOption { screen.name, screen.displayNumber, notch::NotchScreenPreference::isBuiltIn(screen) });
    }
    return result;
}

int selectedIndex(const QList<DisplayOption>& options, const platform::Defaults& defaults)
{
    if (notch::displayPreferenceFromUserDefaults(defaults) == notch::DisplayPreference::Auto) {
        return 0;
    }
    const std::optional<qint64> pinned = notch::NotchScreenPreference::pinnedScreenID(defaults);
    for (int i = 1; pinned && i < options.size(); ++i) {
        if (options.at(i).screenNumber == pinned) {
            return i;
        }
    }
    return 0;
}

QString helpText(qsizetype screenCount, const DisplayOption& selected)
{
    if (screenCount < 2) {
        return QStringLiteral("Only one display detected — Auto picks it.");
    }
    if (!selected.screenNumber) {
        return QStringLiteral("Auto: prefers a screen with a notch, falls back to the primary screen.");
    }
    return QStringLiteral("Pinned to %1. Falls back to the primary screen if it is disconnected.").arg(selected.title);
}

void write(platform::Defaults& defaults, const DisplayOption& choice)
{
    const QString pinKey = QString::fromLatin1(notch::NotchScreenPreference::udKey);
    notch::DisplayPreference preference = notch::DisplayPreference::Auto;
    if (choice.screenNumber) {
        defaults.setValue(pinKey, *choice.screenNumber);
        preference = choice.builtIn ? notch::DisplayPreference::BuiltIn : notch::DisplayPreference::ExScreen;
    } else {
        defaults.remove(pinKey);
    }
    defaults.setValue(QString::fromLatin1(notch::displayPreferenceUdKey), notch::toString(preference));
}

} // namespace murmeli::settings::DisplayChoice
