#include "main/notch/panel/NotchPanelController.h"

#include <algorithm>
#include <limits>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QRegion>
#include <QTimer>
#include <QWindow>

#include "main/device/cues/SilentAudioCueOutput.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/layout/NotchLayout.h"
#include "main/notch/model/PanelViewModel.h"
#include "main/notch/views/NotchView.h"
#include "platform/desktop/ScreenProvider.h"
#include "platform/overlay/Compositing.h"
#include "platform/overlay/DisplayClock.h"
#include "platform/overlay/InputRegion.h"
#include "platform/overlay/PointerMonitor.h"
#include "platform/overlay/WindowStacking.h"

namespace murmeli::notch {

using common::LogColor;
using notch::IslandSurface;

namespace {

/// Room the window's shape keeps around the drawn box, so that a spring overshooting its target is not cut.
constexpr int maskMargin = 8;

bool isIdle(const notch::SessionState& state)
{
    return state.kind() == notch::SessionState::Kind::Idle || state.kind() == notch::SessionState::Kind::NoSession;
}

} // namespace

NotchPanelController::NotchPanelController(NotchPanelLinks links, QObject* parent)
    : QObject(parent), m_links(links), m_audioCue(std::make_shared<device::SilentAudioCueOutput>())
{
    connect(&m_state, &NotchExpansionState::isExpandedChanged, this, [this] { onExpansionChanged(); });
    connect(&m_state, &NotchExpansionState::changed, this, [this] {
        if (m_root) {
            m_root->markDirty();
            m_window->update();
            applyInputRegion();
        }
    });
}

NotchPanelController::~NotchPanelController()
{
    teardownWatching();
    cancel(m_autoDismissTimer);
    cancel(m_idleSummaryTimer);
    cancel(m_startTimer);
    // The window's views hold closures over this controller; they go first.
    m_root = nullptr;
    m_window.reset();
}

void NotchPanelController::setAudioCue(std::shared_ptr<device::AudioCueOutput> output)
{
    m_audioCue = output ? std::move(output) : std::make_shared<device::SilentAudioCueOutput>();
}

void NotchPanelController::cancel(std::optional<common::Clock::TimerId>& timer)
{
    if (const auto id = std::exchange(timer, std::nullopt)) {
        m_links.clock.cancel(*id);
    }
}

QSizeF NotchPanelController::windowSize(const NotchGeometry& geometry)
{
    // Wide enough for the tape too, which on a screen without a notch is wider than the expanded panel.
    const qreal width
        = std::max<qreal>(NotchLayout::expandedWidth(geometry.width, geometry.isReal), NotchLayout::asrTapeMaxWidth);
    const qreal height = NotchLayout::preAllocatedExpandedHeight() + geometry.height;
    const qreal screenHeight = geometry.screen.frame.height();
    return { width, screenHeight > 0 ? std::min(height, screenHeight) : height };
}

QRectF NotchPanelController::closedNotchScreenRect(const NotchGeometry& geometry, bool isStart)
{
    const qreal width = NotchLayout::closedWidth(geometry.width, geometry.isReal, isStart);
    return { geometry.centerX - width / 2, geometry.panelTopY(geometry.height), width, geometry.height };
}

QRectF NotchPanelController::closedAXBannerScreenRect(const NotchGeometry& geometry, bool isStart, qreal bannerHeight)
{
    const qreal width = NotchLayout::closedWidth(geometry.width, geometry.isReal, isStart);
    return { geometry.centerX - width / 2, geometry.panelTopY(geometry.height) - bannerHeight, width, bannerHeight };
}

bool NotchPanelController::isAXBannerActiveNow() const
{
    return NotchView::isAXBannerActive(m_links.vm, NotchView::isASRTapeActive(m_links.vm));
}

QRectF NotchPanelController::visibleContentRect() const
{
    if (!m_geometry) {
        return m_window ? QRectF(m_window->rect()) : QRectF();
    }
    const NotchGeometry& geo = *m_geometry;
    qreal width = 0;
    qreal height = 0;
    if (m_state.isExpanded()) {
        width = NotchLayout::expandedWidth(geo.width, geo.isReal);
        const qreal fallback = NotchLayout::fallbackExpandedHeight(static_cast<int>(m_links.vm.sessions().size()));
        // The accessibility banner lies inside the expanded content, so it takes clicks too.
        const qreal banner = isAXBannerActiveNow() ? NotchView::axBannerHeightConst : 0;
        height = geo.height + banner + std::max(m_links.vm.measuredOpenedContentHeight(), fallback);
    } else {
        width = NotchLayout::closedWidth(geo.width, geo.isReal, m_state.startActive());
        height = geo.height;
    }
    const qreal windowWidth = m_window ? m_window->width() : windowSize(geo).width();
    return { (windowWidth - width) / 2, 0, width, height };
}

void NotchPanelController::show()
{
    if (m_window) {
        return;
    }
    const std::optional<NotchGeometry> geo = NotchGeometry::current(m_links.screens, m_links.defaults);
    if (!geo) {
        return;
    }
    m_geometry = geo;

    m_window = std::make_unique<ViewHost>(m_links.clock);
    m_window->environment().reduceMotion = m_links.reduceMotion;
    if (platform::DisplayClock* display = m_links.displayClock; display && display->isAvailable()) {
        ViewHost::Screen screen;
        screen.grab = [display](QRect at) { return display->screenImage(at); };
        if (const platform::Compositing* compositing = m_links.compositing) {
            screen.composited = [compositing] { return compositing->isRunning(); };
        }
        if (platform::WindowStacking* stacking = m_links.stacking) {
            screen.covered = [this, stacking](QRect rect) {
                QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
                return handle && stacking->isCovered(*handle, rect);
            };
        }
        m_window->setDisplay([display] { return display->displayTimeMs(); }, std::move(screen));
    }
    m_window->setWindowTitle(QStringLiteral("murmeli panel"));
    // A frameless tool window above the others that never takes the keyboard focus. The window manager keeps its
    // hands off it: its stacking layers put a full-screen window above every window it manages, and a click on a
    // window it manages is its cue to move the focus.
    m_window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint | Qt::BypassWindowManagerHint);
    m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    m_window->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    m_window->installEventFilter(this);
    NotchViewLinks links { m_links.vm, m_state, m_links.defaults, geo->width, geo->height, geo->isReal, {}, {}, {},
        {} };
    links.onOpenSettings = [this] {
        if (onShowSettings) {
            onShowSettings();
        }
    };
    links.onQuit = [this] {
        if (onQuit) {
            onQuit();
        } else {
            QCoreApplication::quit();
        }
    };
    links.onOpenPermissions = [this] {
        if (onOpenSettingsPermissions) {
            onOpenSettingsPermissions();
        }
    };
    // The list stays reachable on a short screen: the expanded content never reaches below the visible area.
    links.maxContentHeight = [this] {
        if (!m_geometry) {
            return std::numeric_limits<qreal>::max();
        }
        const qreal banner = isAXBannerActiveNow() ? NotchView::axBannerHeightConst : 0;
        return std::max<qreal>(0, m_geometry->screen.visibleFrame.height() - m_geometry->height - banner);
    };
    auto root = std::make_unique<NotchView>(m_window->environment(), std::move(links));
    m_root = root.get();
    m_root->onBoxChanged = [this](const QRectF& box) { updateWindowMask(box); };
    m_window->setRoot(std::move(root));
    placeWindow();
    const QSizeF closed = m_root->targetSize();
    m_mask = maskFor(QRectF(QPointF((m_window->width() - closed.width()) / 2, 0), closed), closed);
    m_window->setMask(m_mask);
    m_window->show();
    m_placeCorrections = 0;
    if (QWindow* handle = m_window->windowHandle()) {
        connect(handle, &QWindow::xChanged, this, [this] { holdPlace(); });
        connect(handle, &QWindow::yChanged, this, [this] { holdPlace(); });
    }
    holdPlace();
    applyInputRegion();

    m_links.pointer.onMoved = [this](QPoint at) { handleMouseMovedAtScreenPoint(toScreen(at)); };
    m_links.pointer.onLeftPressed = [this](QPoint at, quint64 timeMs) { handleMouseDown(toScreen(at), timeMs); };
    if (!m_links.pointer.start()) {
        onLog(QStringLiteral("\u26A0 NotchPanelController: the pointer cannot be watched, so the panel cannot be "
                             "opened; permission requests are answered on the device, or in the agent's own terminal "
                             "once they fail open after 25 s"),
            LogColor::Orange);
    }
    if (m_links.hotkeys && !m_hotkeysHooked) {
        m_hotkeysHooked = true;
        m_previousPressed = m_links.hotkeys->onPressed;
        m_links.hotkeys->onPressed = [this](platform::HotkeyId id) { handleHotkey(id); };
    }
    observeSurface();
    updateEscHold();
}

void NotchPanelController::placeWindow()
{
    if (!m_window || !m_geometry) {
        return;
    }
    const QSizeF size = m_window->isVisible() ? QSizeF(m_window->size()) : windowSize(*m_geometry);
    const QRectF screenFrame(
        m_geometry->centerX - size.width() / 2, m_geometry->panelTopY(size.height()), size.width(), size.height());
    m_placed = m_links.screens.space().toQt(screenFrame).toRect();
    m_window->setGeometry(m_placed);
}

void NotchPanelController::holdPlace()
{
    // A window manager may place a new window by its own rules; the panel goes back to its place at the top centre.
    if (m_window && m_window->geometry().topLeft() != m_placed.topLeft() && m_placeCorrections < maxPlaceCorrections) {
        ++m_placeCorrections;
        m_window->move(m_placed.topLeft());
    }
}

void NotchPanelController::hide()
{
    teardownWatching();
    cancel(m_autoDismissTimer);
    m_lastPlayedSurface.reset();
    collapse();
    if (m_window) {
        m_window->hide();
        m_root = nullptr;
        m_window.reset();
    }
    m_appliedRegion.reset();
}

void NotchPanelController::teardownWatching()
{
    m_links.pointer.stop();
    m_links.pointer.onMoved = nullptr;
    m_links.pointer.onLeftPressed = nullptr;
    if (m_links.hotkeys) {
        if (const auto grab = std::exchange(m_escGrab, std::nullopt)) {
            m_links.hotkeys->ungrab(*grab);
        }
        if (std::exchange(m_hotkeysHooked, false)) {
            m_links.hotkeys->onPressed = std::move(m_previousPressed);
        }
    }
}

void NotchPanelController::triggerStart()
{
    cancel(m_startTimer);
    m_state.setStartActive(true);
    m_startTimer = m_links.clock.schedule(m_startDurationMs, [this] {
        m_startTimer.reset();
        m_state.setStartActive(false);
    });
}

void NotchPanelController::collapse()
{
    if (m_state.isExpanded()) {
        m_state.setExpanded(false);
    }
}

void NotchPanelController::expand()
{
    m_pointerOverContent = false;
    m_state.setExpanded(true);
}

void NotchPanelController::expandUnderPointer()
{
    m_pointerOverContent = true;
    m_state.setExpanded(true);
}

bool NotchPanelController::stripCanBeSeen()
{
    QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
    if (!m_links.stacking || !handle) {
        return true;
    }
    // A panel that opened under another window would be touched and not seen, and would take Esc from it.
    const QRect strip = visibleContentRect().toAlignedRect();
    if (!m_links.stacking->isCovered(*handle, strip)) {
        m_coveredLogged = false;
        return true;
    }
    m_links.stacking->raise(*handle);
    if (!m_links.stacking->isCovered(*handle, strip)) {
        m_coveredLogged = false;
        return true;
    }
    if (!std::exchange(m_coveredLogged, true)) {
        onLog(QStringLiteral("\u26A0 NotchPanelController: another window stays above the panel; it does not open "
                             "under it"),
            LogColor::Orange);
    }
    return false;
}

QPointF NotchPanelController::toScreen(QPoint qtPoint) const
{
    return m_links.screens.space().fromQt(QPointF(qtPoint));
}

bool NotchPanelController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::MouseButtonPress && m_state.isExpanded()) {
        const auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::LeftButton) {
            m_openPanelPressMs = press->timestamp();
        }
    }
    return QObject::eventFilter(watched, event);
}

void NotchPanelController::handleMouseDown(QPointF screenPoint, quint64 timeMs)
{
    // The desktop reports a press only after the window has handled it, and a quick click has been released by
    // then too: a button of the open panel may have closed it for that click, which must not open it again.
    if (timeMs != 0 && timeMs == m_openPanelPressMs) {
        return;
    }
    if (!m_state.isExpanded()) {
        handleClosedClickAtScreenPoint(screenPoint);
        return;
    }
    if (!m_window) {
        return;
    }
    // The click went through to whatever lies under it (the panel only takes clicks on what it draws); it only
    // has to close the panel when it landed outside the content.
    const QRectF content = visibleContentRect().translated(m_window->geometry().topLeft());
    const QPointF qtPoint = m_links.screens.space().toQt(screenPoint);
    if (!content.contains(qtPoint)) {
        collapse();
    }
}

bool NotchPanelController::handleMouseMovedAtScreenPoint(QPointF screenPoint)
{
    if (m_state.isExpanded() && m_root) {
        // The window hears the pointer leave it only once after it entered, and a grab (a window being activated,
        // say) can spend that on a leave the pointer never made: the root view hears each move outside as well.
        const QRectF content = visibleContentRect().translated(m_window->geometry().topLeft());
        const bool inside = content.contains(m_links.screens.space().toQt(screenPoint));
        if (!inside && std::exchange(m_pointerOverContent, inside)) {
            m_window->pointerGone();
        }
        m_pointerOverContent = inside;
        return false;
    }
    if (m_state.isExpanded() || !m_geometry) {
        return false;
    }
    if (!closedNotchScreenRect(*m_geometry, m_state.startActive()).contains(screenPoint) || !stripCanBeSeen()) {
        return false;
    }
    expandUnderPointer();
    return true;
}

bool NotchPanelController::handleClosedClickAtScreenPoint(QPointF screenPoint)
{
    if (m_state.isExpanded() || !m_geometry) {
        return false;
    }
    const bool isStart = m_state.startActive();
    if (isAXBannerActiveNow()
        && closedAXBannerScreenRect(*m_geometry, isStart, NotchView::axBannerHeightConst).contains(screenPoint)) {
        if (onOpenSettingsPermissions) {
            onOpenSettingsPermissions();
        }
        return true;
    }
    if (!closedNotchScreenRect(*m_geometry, isStart).contains(screenPoint) || !stripCanBeSeen()) {
        return false;
    }
    const std::optional<QString> urgent = m_links.vm.mostUrgentSessionSid();
    if (!m_links.vm.attentionSessionProjectName().isEmpty() && urgent) {
        notch::PanelViewModel::perform(m_links.vm.onSessionSelect, *urgent);
    }
    expandUnderPointer();
    return true;
}

void NotchPanelController::handleSurfaceChange()
{
    const IslandSurface& surface = m_links.vm.currentSurface();
    cancel(m_autoDismissTimer);
    if (!surface.isNotificationCard()) {
        m_lastPlayedSurface.reset();
        return;
    }
    if (m_lastPlayedSurface != surface) {
        m_lastPlayedSurface = surface;
        switch (surface.kind()) {
        case IslandSurface::Kind::ApprovalCard:
            m_audioCue->play(device::AudioCue::ApprovalRequested);
            break;
        case IslandSurface::Kind::CompletionNotification:
            m_audioCue->play(device::AudioCue::Completion);
            break;
        case IslandSurface::Kind::Error:
            m_audioCue->play(device::AudioCue::Error);
            break;
        case IslandSurface::Kind::QuestionCard:
        case IslandSurface::Kind::SessionList:
            break;
        }
    }
    if (surface.autoDismissesWhenPresentedAsNotification()) {
        m_autoDismissTimer = m_links.clock.schedule(m_autoDismissMs, [this] {
            m_autoDismissTimer.reset();
            m_links.vm.dismissNotification();
        });
    }
}

void NotchPanelController::evaluateIdleSummary()
{
    const notch::PanelViewModel& vm = m_links.vm;
    const bool idleOnList = !vm.pttActive() && !vm.summaryActive() && isIdle(vm.sessionState())
        && vm.currentSurface().kind() == IslandSurface::Kind::SessionList;
    if (!idleOnList) {
        cancel(m_idleSummaryTimer);
        return;
    }
    if (m_idleSummaryTimer) {
        return;
    }
    m_idleSummaryTimer = m_links.clock.schedule(m_idleSummaryMs, [this] {
        m_idleSummaryTimer.reset();
        if (!m_links.vm.pttActive() && !m_links.vm.summaryActive()) {
            m_links.vm.setSummaryActive(true);
        }
    });
}

void NotchPanelController::observeSurface()
{
    if (std::exchange(m_surfaceObserved, true)) {
        return;
    }
    notch::PanelViewModel& vm = m_links.vm;
    // The view model signals only real changes, so an equal write neither replays a cue nor restarts a timer.
    for (const auto signal :
        { &notch::PanelViewModel::currentSurfaceChanged, &notch::PanelViewModel::sessionStateChanged,
            &notch::PanelViewModel::pttActiveChanged, &notch::PanelViewModel::summaryActiveChanged }) {
        connect(&vm, signal, this, [this] {
            handleSurfaceChange();
            evaluateIdleSummary();
        });
    }
    connect(&vm, &notch::PanelViewModel::awaitingCommitTextChanged, this, [this] { updateEscHold(); });
    connect(&vm, &notch::PanelViewModel::changed, this, [this] { onViewModelChanged(); });
}

void NotchPanelController::onViewModelChanged()
{
    if (!m_root) {
        return;
    }
    m_root->markDirty();
    m_window->update();
    applyInputRegion();
}

void NotchPanelController::onExpansionChanged()
{
    applyInputRegion();
    updateEscHold();
}

void NotchPanelController::applyInputRegion()
{
    if (!m_window) {
        return;
    }
    // The closed strip takes its clicks itself: passed through, they would land on the desktop behind it, and the
    // window manager would take the keyboard focus from the terminal for that click.
    QRectF content = visibleContentRect();
    if (!m_state.isExpanded() && isAXBannerActiveNow()) {
        content.setHeight(content.height() + NotchView::axBannerHeightConst);
    }
    const QRect region = content.toAlignedRect();
    if (m_appliedRegion == region) {
        return;
    }
    m_appliedRegion = region;
    QWindow* handle = m_window->windowHandle();
    if (handle) {
        m_links.input.apply(*handle, region.isEmpty() ? QList<QRect> {} : QList<QRect> { region });
    }
}

QRegion NotchPanelController::maskFor(const QRectF& box, const QSizeF& target) const
{
    // Without a compositor the window's transparent parts show black, and other programs' pictures of the screen take
    // them as black too, so the window is cut to the body; at rest where nothing is seen through, to its very outline.
    const QRectF aim(box.center().x() - target.width() / 2, box.top(), target.width(), target.height());
    if (box == aim && m_links.compositing && !m_links.compositing->isRunning()) {
        return QRegion(m_root->outline(box).toFillPolygon().toPolygon());
    }
    return box.united(aim).toAlignedRect().adjusted(-maskMargin, 0, maskMargin, maskMargin);
}

void NotchPanelController::updateWindowMask(const QRectF& box)
{
    if (!m_window || !m_root) {
        return;
    }
    // Set after the frame that moved the box, and wide enough for the box's target too.
    const QRegion mask = maskFor(box, m_root->targetSize());
    if (mask == std::exchange(m_mask, mask)) {
        return;
    }
    QTimer::singleShot(0, m_window.get(), [window = m_window.get(), mask] {
        const QRegion before = window->mask();
        window->setMask(mask);
        // Qt does not draw what a window's grown shape newly takes in: until the next frame it would show whatever
        // the window held there (black columns beside a spring that overshoots, a black block after a card goes).
        const QRegion taken = mask.subtracted(before);
        if (!taken.isEmpty()) {
            window->update(taken);
        }
    });
}

void NotchPanelController::updateEscHold()
{
    if (!m_links.hotkeys || !m_window) {
        return;
    }
    const bool wanted = !m_links.vm.awaitingCommitText().isEmpty() || m_state.isExpanded();
    if (!wanted) {
        if (const auto grab = std::exchange(m_escGrab, std::nullopt)) {
            m_links.hotkeys->ungrab(*grab);
        }
        return;
    }
    if (m_escGrab) {
        return;
    }
    const platform::HotkeyGrab grab
        = m_links.hotkeys->grab({ platform::keysym::Escape, std::nullopt, {}, std::nullopt });
    if (grab.id) {
        m_escGrab = grab.id;
    } else if (!std::exchange(m_escRefusalLogged, true)) {
        onLog(QStringLiteral("\u26A0 NotchPanelController: Esc cannot be taken (") + grab.error
                + QStringLiteral("); only the panel's own window hears it"),
            LogColor::Orange);
    }
}

void NotchPanelController::handleHotkey(platform::HotkeyId id)
{
    if (id != m_escGrab) {
        if (m_previousPressed) {
            m_previousPressed(id);
        }
        return;
    }
    if (!m_links.vm.awaitingCommitText().isEmpty()) {
        notch::PanelViewModel::perform(m_links.vm.onEscRequest);
        return;
    }
    collapse();
}

void NotchPanelController::screenParametersChanged()
{
    if (!m_window) {
        return;
    }
    const std::optional<NotchGeometry> geo = NotchGeometry::current(m_links.screens, m_links.defaults);
    if (!geo) {
        return;
    }
    m_geometry = geo;
    m_placeCorrections = 0;
    placeWindow();
    m_appliedRegion.reset();
    applyInputRegion();
}

} // namespace murmeli::notch
