#include "platform/overlay/OverlayServicesFactory.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "platform/overlay/unavailable/UnavailableOverlay.h"

#ifdef MURMELI_HAVE_X11_OVERLAY
#include "platform/desktop/x11/X11Connection.h"
#include "platform/overlay/x11/X11Compositing.h"
#include "platform/overlay/x11/X11InputRegion.h"
#include "platform/overlay/x11/X11PointerMonitor.h"
#include "platform/overlay/x11/X11WindowFrames.h"
#include "platform/overlay/x11/X11WindowStacking.h"
#endif
#ifdef MURMELI_HAVE_X11_SYNC
#include "platform/overlay/x11/X11DisplayClock.h"
#endif

namespace murmeli::platform {

OverlayServices makeOverlayServices()
{
    OverlayServices services;
#ifdef MURMELI_HAVE_X11_OVERLAY
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (const std::shared_ptr<X11Connection> connection = gui ? X11Connection::fromQt() : nullptr) {
        auto input = std::make_shared<X11InputRegion>(connection);
        if (input->isAvailable()) {
            services.input = std::move(input);
        }
        auto pointer = std::make_shared<X11PointerMonitor>(connection);
        if (pointer->isAvailable()) {
            services.pointer = std::move(pointer);
        }
        services.frames = std::make_shared<X11WindowFrames>(connection);
        services.stacking = std::make_shared<X11WindowStacking>(connection);
        auto compositing = std::make_shared<X11Compositing>(connection);
        if (compositing->isAvailable()) {
            services.compositing = std::move(compositing);
        }
#ifdef MURMELI_HAVE_X11_SYNC
        auto displayClock = std::make_shared<X11DisplayClock>(connection);
        if (displayClock->isAvailable()) {
            services.displayClock = std::move(displayClock);
        }
#endif
    }
#endif
    const auto unavailable = std::make_shared<UnavailableOverlay>();
    if (!services.input) {
        services.input = unavailable;
    }
    if (!services.pointer) {
        services.pointer = unavailable;
    }
    if (!services.frames) {
        services.frames = unavailable;
    }
    if (!services.stacking) {
        services.stacking = unavailable;
    }
    if (!services.compositing) {
        services.compositing = unavailable;
    }
    if (!services.displayClock) {
        services.displayClock = unavailable;
    }
    return services;
}

} // namespace murmeli::platform
