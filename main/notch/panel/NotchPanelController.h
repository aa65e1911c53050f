#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QRegion>

#include "main/common/Clock.h"
#include "main/common/Log.h"
#include "main/notch/geometry/NotchGeometry.h"
#include "main/notch/layout/NotchExpansionState.h"
#include "main/notch/model/IslandSurface.h"
#include "platform/desktop/GlobalHotkeys.h"

namespace murmeli::notch {
class PanelViewModel;
}

namespace murmeli::device {
class AudioCueOutput;
}

namespace murmeli::platform {
class Compositing;
class Defaults;
class DisplayClock;
class InputRegion;
class PointerMonitor;
class ScreenProvider;
class WindowStacking;
} // namespace murmeli::platform

namespace murmeli::notch {

class NotchView;
class ViewHost;

/// What the panel controller works with.
struct NotchPanelLinks {
    notch::PanelViewModel& vm;
    common::Clock& clock;
    const platform::ScreenProvider& screens;
    platform::Defaults& defaults;
    /// The window's input region: nothing while closed, the drawn content while expanded.
    platform::InputRegion& input;
    /// The pointer over the whole desktop: hovering into and clicking on the closed strip, clicks elsewhere.
    platform::PointerMonitor& pointer;
    /// Esc for the whole desktop, taken only while the panel needs it; null: the panel never takes Esc.
    platform::GlobalHotkeys* hotkeys = nullptr;
    /// The desktop's wish for less motion, read by each view when it is made; unset: full motion.
    std::function<bool()> reduceMotion;
    /// Where the window stands among the others; null: the panel takes itself to be seen.
    platform::WindowStacking* stacking = nullptr;
    /// Whether the window's transparent parts are seen through; null: they are taken to be.
    const platform::Compositing* compositing = nullptr;
    /// The display's clock, which stamps the pointer's events; null: an event happened when it is handled.
    platform::DisplayClock* displayClock = nullptr;
};

/// The panel's one window and everything around it: placed at the top centre of the chosen screen, always on top,
/// never taking the keyboard focus, and as large as the expanded panel from the start so that it is never resized.
/// The pointer passes through it while closed; hovering into or clicking on the closed strip expands it, a click
/// outside or Esc closes it. It plays a cue once for each notification card, dismisses a completion card after 2 s,
/// raises the idle summary after five idle minutes, runs the 5 s welcome strip and follows screen changes. Timers
/// run on the injected clock. Main thread only.
class NotchPanelController final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotchPanelController)

public:
    static constexpr qint64 defaultAutoDismissMs = 2000;
    static constexpr qint64 defaultIdleSummaryMs = 300'000;
    static constexpr qint64 defaultStartDurationMs = 5000;
    /// How often the window is put back after something else moved it, before the panel leaves it where it is.
    static constexpr int maxPlaceCorrections = 3;

    explicit NotchPanelController(NotchPanelLinks links, QObject* parent = nullptr);
    ~NotchPanelController() override;

    /// The cue player; a silent one until the owner sets another (null puts the silent one back).
    void setAudioCue(std::shared_ptr<device::AudioCueOutput> output);
    qint64 autoDismissDelayMs() const { return m_autoDismissMs; }
    void setAutoDismissDelayMs(qint64 ms) { m_autoDismissMs = ms; }
    qint64 idleSummaryDelayMs() const { return m_idleSummaryMs; }
    void setIdleSummaryDelayMs(qint64 ms) { m_idleSummaryMs = ms; }
    qint64 startDurationMs() const { return m_startDurationMs; }
    void setStartDurationMs(qint64 ms) { m_startDurationMs = ms; }

    /// Builds, places and shows the window and starts watching; nothing when shown already or there is no screen.
    void show();
    /// Takes everything down; show() builds it anew.
    void hide();
    /// The welcome strip for startDurationMs; a second call restarts it.
    void triggerStart();

    bool isShown() const { return m_window != nullptr; }
    bool isExpanded() const { return m_state.isExpanded(); }
    NotchExpansionState& expansionState() { return m_state; }
    const std::optional<NotchGeometry>& currentGeometry() const { return m_geometry; }
    /// The window and its root view while shown.
    ViewHost* window() const { return m_window.get(); }
    NotchView* rootView() const { return m_root; }
    /// Whether the panel holds Esc for the whole desktop now.
    bool holdsEsc() const { return m_escGrab.has_value(); }

    /// The window's size on a screen: as wide as the expanded panel and the tape, as tall as the expanded panel
    /// can be (never taller than the screen).
    static QSizeF windowSize(const NotchGeometry& geometry);
    /// The closed strip in screen coordinates (y up), flush with the top of the screen.
    static QRectF closedNotchScreenRect(const NotchGeometry& geometry, bool isStart);
    /// The accessibility banner's strip under the closed strip.
    static QRectF closedAXBannerScreenRect(const NotchGeometry& geometry, bool isStart, qreal bannerHeight);
    /// What the panel draws now and takes clicks in, in the window's coordinates (y down): the expanded content, or
    /// the closed strip.
    QRectF visibleContentRect() const;
    bool isAXBannerActiveNow() const;

    /// A left press anywhere on the desktop, in screen coordinates; timeMs is the desktop's time of the press, the
    /// same the window is told when the press lands on it (0: unknown).
    void handleMouseDown(QPointF screenPoint, quint64 timeMs = 0);
    /// The pointer moved there; true when that expanded the panel.
    bool handleMouseMovedAtScreenPoint(QPointF screenPoint);
    /// A press while closed; true when it hit the strip or the banner.
    bool handleClosedClickAtScreenPoint(QPointF screenPoint);
    /// The card on show changed: its cue once, and the completion card's dismiss timer.
    void handleSurfaceChange();
    /// The screens changed: the window moves to the screen chosen anew, keeping its size.
    void screenParametersChanged();

    /// The settings window at its permissions.
    std::function<void()> onOpenSettingsPermissions;
    /// The settings window.
    std::function<void()> onShowSettings;
    /// The power button of the expanded strip; unset: the application quits at once.
    std::function<void()> onQuit;
    common::LogSink onLog;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void collapse();
    void expand();
    /// Expanded by the pointer, which is over the panel then.
    void expandUnderPointer();
    bool stripCanBeSeen();
    void placeWindow();
    void holdPlace();
    void applyInputRegion();
    void updateEscHold();
    void handleHotkey(platform::HotkeyId id);
    void teardownWatching();
    void observeSurface();
    void evaluateIdleSummary();
    void onExpansionChanged();
    void onViewModelChanged();
    void updateWindowMask(const QRectF& box);
    /// The window's shape for a box on its way to target.
    QRegion maskFor(const QRectF& box, const QSizeF& target) const;
    QPointF toScreen(QPoint qtPoint) const;
    void cancel(std::optional<common::Clock::TimerId>& timer);

    NotchPanelLinks m_links;
    NotchExpansionState m_state;
    std::shared_ptr<device::AudioCueOutput> m_audioCue;
    qint64 m_autoDismissMs = defaultAutoDismissMs;
    qint64 m_idleSummaryMs = defaultIdleSummaryMs;
    qint64 m_startDurationMs = defaultStartDurationMs;
    std::optional<NotchGeometry> m_geometry;
    std::optional<notch::IslandSurface> m_lastPlayedSurface;
    std::optional<common::Clock::TimerId> m_autoDismissTimer;
    std::optional<common::Clock::TimerId> m_idleSummaryTimer;
    std::optional<common::Clock::TimerId> m_startTimer;
    std::unique_ptr<ViewHost> m_window;
    NotchView* m_root = nullptr;
    std::optional<QRect> m_appliedRegion;
    /// Where the window belongs, in Qt's coordinates, and how often it was put back there since it was placed.
    QRect m_placed;
    /// The window's shape as last set.
    QRegion m_mask;
    int m_placeCorrections = 0;
    std::optional<platform::HotkeyId> m_escGrab;
    bool m_escRefusalLogged = false;
    bool m_coveredLogged = false;
    /// The desktop-wide pointer was last seen over the open panel's content.
    bool m_pointerOverContent = false;
    /// The desktop's time of the last press the open panel's window took itself.
    quint64 m_openPanelPressMs = 0;
    /// Whoever heard the desktop's keys before the panel; keys that are not the panel's go on to it.
    std::function<void(platform::HotkeyId)> m_previousPressed;
    bool m_hotkeysHooked = false;
    bool m_surfaceObserved = false;
};

} // namespace murmeli::notch
