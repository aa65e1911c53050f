#pragma once

#include <optional>

#include <QList>
#include <QtGlobal>

#include "platform/desktop/ScreenInfo.h"
#include "platform/desktop/ScreenSpace.h"

namespace murmeli::platform {

/// The connected screens, measured afresh on every call. Main thread only.
class ScreenProvider {
public:
    ScreenProvider() = default;
    virtual ~ScreenProvider() = default;
    Q_DISABLE_COPY_MOVE(ScreenProvider)

    /// Every connected screen in the platform's order; empty when there is none.
    virtual QList<ScreenInfo> screens() const = 0;
    /// The screen the user works on; absent when there is no screen.
    virtual std::optional<ScreenInfo> mainScreen() const = 0;
    /// How this provider's y-up rectangles map to the toolkit's window coordinates.
    virtual ScreenSpace space() const = 0;
};

} // namespace murmeli::platform
