#pragma once

#include <memory>
#include <optional>

#include <QEvent>
#include <QImage>
#include <QList>
#include <QTemporaryDir>

#include "main/device/cues/AudioCueOutput.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/panel/NotchPanelController.h"
#include "platform/defaults/Defaults.h"
#include "platform/desktop/fake/FakeDesktop.h"
#include "platform/desktop/fake/FakeScreenProvider.h"
#include "platform/overlay/fake/FakeOverlay.h"
#include "tests/support/FakeClock.h"

namespace murmeli::test {

/// Records the cues it is asked to play, in order.
class RecordingCues final : public device::AudioCueOutput {
public:
    void play(device::AudioCue cue) override { played.append(cue); }

    QList<device::AudioCue> played;
};

/// A panel controller over fakes: one 1920 × 1080 screen without a notch (or the screens a test sets), a fake
/// clock, an overlay desktop that records input regions and takes scripted pointer events, a fake desktop for Esc,
/// and the defaults in a temporary folder. Nothing reaches a display; the window is drawn offscreen.
class PanelRig final {
public:
    static constexpr QRectF screenFrame { 0, 0, 1920, 1080 };

    PanelRig();
    ~PanelRig();

    FakeClock clock;
    QTemporaryDir home;
    std::unique_ptr<platform::Defaults> defaults;
    platform::FakeScreenProvider screens;
    platform::FakeOverlay overlay;
    platform::FakeDesktop desktop;
    std::unique_ptr<notch::PanelViewModel> vm;
    std::shared_ptr<RecordingCues> cues = std::make_shared<RecordingCues>();
    std::unique_ptr<notch::NotchPanelController> panel;

    /// The point in Qt's global coordinates (y down) for a screen point (y up).
    QPoint qt(QPointF screenPoint) const;
    /// Moves the pointer to, or presses it at, a screen point.
    void hover(QPointF screenPoint) { overlay.moveTo(qt(screenPoint)); }
    void click(QPointF screenPoint) { overlay.pressLeft(qt(screenPoint)); }
    /// The middle of the closed strip, in screen coordinates.
    QPointF stripCentre() const;
    /// The window's input region as last set; absent before any.
    std::optional<QList<QRect>> inputRegion() const;
    /// The fake display's clock, which stamps the pointer's events: a scale of its own that runs with the clock.
    quint64 displayTimeMs() const { return 7'000'000 + static_cast<quint64>(clock.monotonicMs()); }
    /// A pointer event on the window at a point of it, as the desktop delivers one: a move (no button), a left press
    /// or a left release; stampMs: the display server's time of it (0: none; unset: the display's time now).
    void send(QEvent::Type type, QPointF windowPoint, std::optional<quint64> stampMs = std::nullopt);
    /// Draws the window offscreen at the clock's time, as a frame of the real window would, once the events queued
    /// by the frame before have been handled; the frame is on the screen when this returns, but for a stopped
    /// compositing manager (see watchScreen).
    QImage render();
    /// From now on the fake screen shows what a compositing manager drew there: each frame render() draws, while the
    /// manager runs (before this, the screen cannot say what it shows).
    void watchScreen();
    /// Stops or resumes the compositing manager: while stopped the screen keeps the last frame it drew.
    bool compositorStopped = false;
    /// A row for the session list.
    static notch::SessionRow row(const QString& sid, notch::SessionState state, const QDateTime& updatedAt);

private:
    QImage m_onScreen;
    QPoint m_onScreenAt;
};

} // namespace murmeli::test
