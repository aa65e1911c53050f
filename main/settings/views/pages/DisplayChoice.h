#pragma once

#include <optional>

#include <QList>
#include <QString>

#include "platform/desktop/ScreenInfo.h"

namespace murmeli::platform {
class Defaults;
}

namespace murmeli::settings {

/// One entry of the General page's display picker: Auto, or one connected screen to pin the panel to.
struct DisplayOption final {
    QString title;
    /// The screen's display number; absent for Auto.
    std::optional<qint64> screenNumber;
    bool builtIn = false;

    bool operator==(const DisplayOption&) const = default;
};

/// The display picker: which screens it offers, which entry the stored preference selects, its help line, and what
/// a choice stores for the panel's screen choice.
namespace DisplayChoice {

/// Auto, then every connected screen that has a display number, in the screen layer's order.
QList<DisplayOption> options(const QList<platform::ScreenInfo>& screens);
/// The entry of the pinned screen while the preference is not Auto and that screen is connected; else Auto (0).
int selectedIndex(const QList<DisplayOption>& options, const platform::Defaults& defaults);
/// The row's help line for the number of connected screens and the selected entry.
QString helpText(qsizetype screenCount, const DisplayOption& selected);
/// Auto removes the pinned screen and stores "auto"; a screen is pinned by its number and stores "built-in" or
/// "ex-screen".
void write(platform::Defaults& defaults, const DisplayOption& choice);

} // namespace DisplayChoice

} // namespace murmeli::settings
