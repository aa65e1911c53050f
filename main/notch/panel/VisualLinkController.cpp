#include "main/notch/panel/VisualLinkController.h"

#include <QRegion>

#include "main/notch/geometry/NotchGeometry.h"
#include "main/notch/kit/ViewHost.h"
#include "main/notch/views/BrassParticleLinkView.h"
#include "platform/desktop/ScreenProvider.h"
#include "platform/desktop/WindowSystem.h"
#include "platform/overlay/WindowFrames.h"

namespace murmeli::notch {

namespace {

/// Room around the trail's curve for the particles' halos.
constexpr qreal trailMargin = 12;

} // namespace

VisualLinkController::VisualLinkController(VisualLinkLinks links) : m_links(links) { }

VisualLinkController::~VisualLinkController()
{
    if (const auto timer = std::exchange(m_dismissTimer, std::nullopt)) {
        m_links.clock.cancel(*timer);
    }
}

std::optional<QRectF> VisualLinkController::targetWindow(qint64 pid) const
{
    std::optional<platform::WindowId> id;
    if (const auto active = m_links.windows.activeWindow(); active && active->pid == pid) {
        id = active->id;
    } else {
        for (const platform::WindowInfo& window : m_links.windows.windows()) {
            if (window.pid == pid) {
                id = window.id;
                break;
            }
        }
    }
    const std::optional<QRect> frame = id ? m_links.frames.frameOf(*id) : std::nullopt;
    if (!frame) {
        return std::nullopt;
    }
    return m_links.screens.space().fromQt(QRectF(*frame));
}

void VisualLinkController::trigger(std::optional<qint64> targetPid)
{
    if (!targetPid) {
        return;
    }
    const std::optional<NotchGeometry> geo = NotchGeometry::current(m_links.screens, m_links.defaults);
    if (!geo) {
        return;
    }
    // In screen coordinates (y up), like everything below.
    const std::optional<QRectF> window = targetWindow(*targetPid);
    if (!window || window->width() <= minimumWindowSide || window->height() <= minimumWindowSide) {
        return;
    }
    // The display that holds the window's centre, both in the same coordinates so that displays stacked one above
    // the other are told apart.
    std::optional<platform::ScreenInfo> display;
    for (const platform::ScreenInfo& screen : m_links.screens.screens()) {
        if (screen.frame.contains(window->center())) {
            display = screen;
            break;
        }
    }
    if (!display) {
        display = m_links.screens.mainScreen();
    }
    if (!display) {
        display = geo->screen;
    }
    const QRectF& area = display->frame;
    const QPointF start
        = *display == geo->screen ? QPointF(geo->centerX, geo->topY) : QPointF(area.center().x(), area.bottom());
    const QPointF end(window->center().x(), window->bottom());
    const auto local
        = [&area](QPointF q) { return QPointF(q.x() - area.left(), area.height() - (q.y() - area.top())); };

    const QRect overlayGeometry = m_links.screens.space().toQt(area).toRect();
    if (m_overlay && m_overlayScreen != display) {
        m_overlay->hide();
        m_overlay.reset();
        m_trail = nullptr;
    }
    if (!m_overlay) {
        m_overlay = std::make_unique<ViewHost>(m_links.clock);
        m_overlay->setWindowTitle(QStringLiteral("murmeli link"));
        m_overlay->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput | Qt::NoDropShadowWindowHint
            | Qt::X11BypassWindowManagerHint);
        m_overlay->setAttribute(Qt::WA_ShowWithoutActivating);
        m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_overlayScreen = display;
    m_overlay->setGeometry(overlayGeometry);
    if (local(start).y() + minimumDrop >= local(end).y()) {
        return;
    }

    auto trail = std::make_unique<BrassParticleLinkView>(m_overlay->environment(), local(start), local(end));
    m_trail = trail.get();
    // Only the trail's own stretch is part of the window, so that nothing else of the screen is covered even where
    // no compositor draws the transparent rest.
    const QRectF path = QRectF(trail->from(), trail->to()).normalized().united(QRectF(trail->control(), QSizeF(1, 1)));
    m_overlay->setMask(QRegion(path.adjusted(-trailMargin, -trailMargin, trailMargin, trailMargin).toAlignedRect()));
    m_overlay->setRoot(std::move(trail));
    m_overlay->show();
    m_overlay->raise();

    if (const auto timer = std::exchange(m_dismissTimer, std::nullopt)) {
        m_links.clock.cancel(*timer);
    }
    m_dismissTimer = m_links.clock.schedule(dismissAfterMs, [this] {
        m_dismissTimer.reset();
        dismiss();
    });
}

void VisualLinkController::dismiss()
{
    if (!m_overlay) {
        return;
    }
    m_overlay->hide();
    m_trail = nullptr;
    m_overlay->setRoot(nullptr);
}

} // namespace murmeli::notch
