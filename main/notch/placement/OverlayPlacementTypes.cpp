#include "main/notch/placement/OverlayPlacementTypes.h"

namespace murmeli::notch {

QString toString(OverlayPlacementMode mode)
{
    return mode == OverlayPlacementMode::Notch ? QStringLiteral("Notch area") : QStringLiteral("Top bar fallback");
}

} // namespace murmeli::notch
