#pragma once

#include <memory>
#include <optional>

#include <QPointF>
#include <QRectF>

#include "main/common/Clock.h"
#include "platform/desktop/ScreenInfo.h"

namespace murmeli::platform {
class Defaults;
class ScreenProvider;
class WindowFrames;
class WindowSystem;
} // namespace murmeli::platform

namespace murmeli::notch {

class BrassParticleLinkView;
class ViewHost;

/// What the visual link works with.
struct VisualLinkLinks {
    common::Clock& clock;
    const platform::ScreenProvider& screens;
    const platform::Defaults& defaults;
    platform::WindowSystem& windows;
    platform::WindowFrames& frames;
};

/// When dictated text is pasted into another program, a short trail of brass particles flies from the notch to the
/// top of that program's window, in a transparent overlay the pointer passes through, gone 0.42 s later. The
/// overlay is made on the first trail and reused while the display stays the same. Main thread only; every failure
/// is silent.
class VisualLinkController final {
public:
    static constexpr qint64 dismissAfterMs = 420;
    /// Windows this small or smaller in either direction get no trail.
    static constexpr qreal minimumWindowSide = 50;
    /// A window whose top edge is this close below the start, or above it, gets no trail.
    static constexpr qreal minimumDrop = 20;

    explicit VisualLinkController(VisualLinkLinks links);
    ~VisualLinkController();
    VisualLinkController(const VisualLinkController&) = delete;
    VisualLinkController& operator=(const VisualLinkController&) = delete;

    /// The paste into the process targetPid has started: the trail to its focused window, else its first window.
    void trigger(std::optional<qint64> targetPid);

    /// The overlay window, once there was a trail; and the trail it shows now, or null.
    ViewHost* overlay() const { return m_overlay.get(); }
    BrassParticleLinkView* trail() const { return m_trail; }
    /// The display the overlay stands on.
    const std::optional<platform::ScreenInfo>& overlayScreen() const { return m_overlayScreen; }

private:
    std::optional<QRectF> targetWindow(qint64 pid) const;
    void dismiss();

    VisualLinkLinks m_links;
    std::unique_ptr<ViewHost> m_overlay;
    std::optional<platform::ScreenInfo> m_overlayScreen;
    BrassParticleLinkView* m_trail = nullptr;
    std::optional<common::Clock::TimerId> m_dismissTimer;
};

} // namespace murmeli::notch
