#pragma once

#include "platform/desktop/ScreenProvider.h"

class QScreen;

namespace murmeli::platform {

/// The screens Qt reports. No Linux desktop tells of a camera housing, so every screen comes without insets and
/// without the areas beside a notch. The main screen is Qt's primary screen.
class QtScreenProvider final : public ScreenProvider {
public:
    QtScreenProvider() = default;

    QList<ScreenInfo> screens() const override;
    std::optional<ScreenInfo> mainScreen() const override;
    ScreenSpace space() const override;

    /// A number that stays the same for the same output across launches: the 32-bit FNV-1a hash of its name.
    static qint64 displayNumberOf(const QScreen& screen);
};

} // namespace murmeli::platform
