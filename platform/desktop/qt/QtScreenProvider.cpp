#include "platform/desktop/qt/QtScreenProvider.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

namespace murmeli::platform {
namespace {

ScreenInfo describe(const QScreen& screen, const ScreenSpace& space)
{
    ScreenInfo info;
    info.displayNumber = QtScreenProvider::displayNumberOf(screen);
    const QString model = QStringList { screen.manufacturer(), screen.model() }.join(QLatin1Char(' ')).trimmed();
    info.name = model.isEmpty() ? screen.name() : model;
    info.frame = space.fromQt(QRectF(screen.geometry()));
    info.visibleFrame = space.fromQt(QRectF(screen.availableGeometry()));
    return info;
}

} // namespace

QList<ScreenInfo> QtScreenProvider::screens() const
{
    const ScreenSpace here = space();
    QList<ScreenInfo> result;
    for (const QScreen* screen : QGuiApplication::screens()) {
        result.append(describe(*screen, here));
    }
    return result;
}

std::optional<ScreenInfo> QtScreenProvider::mainScreen() const
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr) {
        return std::nullopt;
    }
    return describe(*primary, space());
}

ScreenSpace QtScreenProvider::space() const
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary == nullptr ? ScreenSpace() : ScreenSpace(QRectF(primary->geometry()));
}

qint64 QtScreenProvider::displayNumberOf(const QScreen& screen)
{
    // Qt has no numeric screen id; the output name ("eDP-1", "HDMI-1") is what stays put across launches, and a
    // hash of our own keeps the number the same across Qt versions, unlike qHash.
    quint32 hash = 2166136261u;
    for (const char byte : screen.name().toUtf8()) {
        hash ^= static_cast<quint8>(byte);
        hash *= 16777619u;
    }
    return static_cast<qint64>(hash);
}

} // namespace murmeli::platform
