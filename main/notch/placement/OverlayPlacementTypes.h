#pragma once

#include <QString>

namespace murmeli::notch {

/// Where an overlay sits on a screen: round its notch, or hanging from the top edge of one without.
enum class OverlayPlacementMode { Notch, TopBar };

/// "Notch area" or "Top bar fallback".
QString toString(OverlayPlacementMode mode);

/// One connected screen as the display settings list it.
struct OverlayDisplayOption final {
    /// The identifier the settings pass back for the automatic choice.
    static constexpr auto automaticID = "automatic";

    /// The screen's identifier ("display-" and its number).
    QString id;
    /// The screen's name.
    QString title;
    /// Its placement and size: "Built-in notch · 1512×982".
    QString subtitle;

    friend bool operator==(const OverlayDisplayOption&, const OverlayDisplayOption&) = default;
};

} // namespace murmeli::notch
