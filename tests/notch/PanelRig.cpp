#include "tests/notch/PanelRig.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWindow>

#include "main/notch/kit/ViewHost.h"

namespace murmeli::test {

PanelRig::PanelRig()
{
    defaults = std::make_unique<platform::Defaults>(home.filePath(QStringLiteral("defaults.json")));
    screens.setScreens({ platform::FakeScreenProvider::plainScreen(1, QStringLiteral("Screen"), screenFrame) });
    screens.setSpace(platform::ScreenSpace(screenFrame));
    vm = std::make_unique<notch::PanelViewModel>(clock);
    panel = std::make_unique<notch::NotchPanelController>(notch::NotchPanelLinks {
        *vm, clock, screens, *defaults, overlay, overlay, &desktop, {}, &overlay, &overlay, &overlay });
    panel->setAudioCue(cues);
    overlay.displayTime = [this] { return displayTimeMs(); };
}

PanelRig::~PanelRig()
{
    panel.reset();
}

QPoint PanelRig::qt(QPointF screenPoint) const
{
    return screens.space().toQt(screenPoint).toPoint();
}

QPointF PanelRig::stripCentre() const
{
    const auto& geo = panel->currentGeometry();
    return geo ? notch::NotchPanelController::closedNotchScreenRect(*geo, false).center() : QPointF();
}

std::optional<QList<QRect>> PanelRig::inputRegion() const
{
    const notch::ViewHost* window = panel->window();
    if (!window || !window->windowHandle()) {
        return std::nullopt;
    }
    return overlay.regionOf(*window->windowHandle());
}

void PanelRig::send(QEvent::Type type, QPointF windowPoint, std::optional<quint64> stampMs)
{
    notch::ViewHost& window = *panel->window();
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, windowPoint, window.mapToGlobal(windowPoint), button, held, Qt::NoModifier);
    event.setTimestamp(stampMs.value_or(displayTimeMs()));
    QCoreApplication::sendEvent(&window, &event);
}

QImage PanelRig::render()
{
    // What the last frame queued (the window's new shape) happens first, as in a running event loop.
    QCoreApplication::processEvents();
    notch::ViewHost& window = *panel->window();
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    window.render(&image);
    if (!compositorStopped) {
        // What the window's shape leaves out is not rendered: the image starts where the shape does.
        const QRegion shape = window.mask().isEmpty() ? QRegion(window.rect()) : window.mask() & window.rect();
        m_onScreen = image;
        m_onScreenAt = window.mapToGlobal(shape.boundingRect().topLeft());
    }
    // The frame reaches the screen.
    QCoreApplication::processEvents();
    return image;
}

void PanelRig::watchScreen()
{
    overlay.screen
        = [this](QRect at) -> std::optional<QImage> { return m_onScreen.copy(at.translated(-m_onScreenAt)); };
}

notch::SessionRow PanelRig::row(const QString& sid, notch::SessionState state, const QDateTime& updatedAt)
{
    notch::SessionRow row;
    row.sid = sid;
    row.projectName = QStringLiteral("project-") + sid;
    row.state = std::move(state);
    row.updatedAt = updatedAt;
    return row;
}

} // namespace murmeli::test
