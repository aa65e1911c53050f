#include "platform/desktop/DesktopServicesFactory.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include "platform/desktop/qt/QtClipboardAccess.h"
#include "platform/desktop/unavailable/UnavailableDesktop.h"

#ifdef MURMELI_HAVE_ATSPI
#include "platform/desktop/atspi/AtspiFocusedElementProbe.h"
#endif
#ifdef MURMELI_HAVE_X11
#include "platform/desktop/x11/X11Connection.h"
#include "platform/desktop/x11/X11GlobalHotkeys.h"
#include "platform/desktop/x11/X11KeyInjector.h"
#include "platform/desktop/x11/X11SelectionReader.h"
#include "platform/desktop/x11/X11WindowSystem.h"
#endif

namespace murmeli::platform {

namespace {

QString unavailableReason(bool gui)
{
    if (!gui) {
        return QStringLiteral("no graphical session");
    }
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) {
        return QStringLiteral("a Wayland session: other programs are reached only through X11 (XWayland with "
                              "QT_QPA_PLATFORM=xcb)");
    }
#ifndef MURMELI_HAVE_X11
    return QStringLiteral("built without X11");
#else
    return QStringLiteral("no X display (the %1 platform)").arg(platform);
#endif
}

} // namespace

DesktopServices makeDesktopServices()
{
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    DesktopServices services;
    std::unique_ptr<ForeignSelectionReader> foreignSelections;
#ifdef MURMELI_HAVE_X11
    if (const std::shared_ptr<X11Connection> connection = gui ? X11Connection::fromQt() : nullptr) {
        services.hotkeys = std::make_shared<X11GlobalHotkeys>(connection);
        services.windows = std::make_shared<X11WindowSystem>(connection);
        services.keys = std::make_shared<X11KeyInjector>(connection);
        foreignSelections = X11SelectionReader::open();
    }
#endif
    const auto unavailable = std::make_shared<UnavailableDesktop>(unavailableReason(gui));
    if (!services.hotkeys) {
        services.hotkeys = unavailable;
        services.windows = unavailable;
        services.keys = unavailable;
    }
    if (gui) {
        services.clipboard = std::make_shared<QtClipboardAccess>(std::move(foreignSelections));
    } else {
        services.clipboard = unavailable;
    }
#ifdef MURMELI_HAVE_ATSPI
    services.focus = std::make_shared<AtspiFocusedElementProbe>();
#else
    services.focus = unavailable;
#endif
    return services;
}

} // namespace murmeli::platform
