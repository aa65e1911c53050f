#include "platform/ble/qt/BluezDirectory.h"

#include <algorithm>
#include <utility>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace murmeli::platform {

namespace {

const QString bluez = QStringLiteral("org.bluez");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString characteristicInterface = QStringLiteral("org.bluez.GattCharacteristic1");

bool offers(const QVariantMap& device, const QUuid& service)
{
    const QStringList uuids = device.value(QStringLiteral("UUIDs")).toStringList();
    return std::any_of(uuids.begin(), uuids.end(), [&service](const QString& uuid) { return QUuid(uuid) == service; });
}

} // namespace

BluezDirectory::BluezDirectory()
{
    qDBusRegisterMetaType<QMap<QString, QVariantMap>>();
    qDBusRegisterMetaType<Objects>();
}

bool BluezDirectory::isReachable() const
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(bluez).value();
}

void BluezDirectory::read(std::function<void(std::optional<Objects>)> done)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(bluez, QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done = std::move(done)](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<Objects> reply = *w;
        if (reply.isError()) {
            done(std::nullopt);
            return;
        }
        done(reply.value());
    });
}

QList<BlePeripheral> BluezDirectory::connectedWithService(
    const Objects& objects, const QString& adapterAddress, const QUuid& service)
{
    QString adapterPath;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto adapter = it.value().constFind(adapterInterface);
        if (adapter != it.value().cend()
            && (adapterAddress.isEmpty()
                || adapter->value(QStringLiteral("Address")).toString().compare(adapterAddress, Qt::CaseInsensitive)
                    == 0)) {
            adapterPath = it.key().path();
            break;
        }
    }
    QList<BlePeripheral> found;
    if (adapterPath.isEmpty()) {
        return found;
    }
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto device = it.value().constFind(deviceInterface);
        if (device == it.value().cend() || !device->value(QStringLiteral("Connected")).toBool()
            || device->value(QStringLiteral("Adapter")).value<QDBusObjectPath>().path() != adapterPath
            || !offers(*device, service)) {
            continue;
        }
        // BlueZ's alias falls back to the address; only the advertised name counts as a name.
        found.append({ device->value(QStringLiteral("Address")).toString(),
            device->value(QStringLiteral("Name")).toString(), device->value(QStringLiteral("RSSI")).toInt() });
    }
    return found;
}

QString BluezDirectory::devicePath(const Objects& objects, const QString& address)
{
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto device = it.value().constFind(deviceInterface);
        if (device != it.value().cend()
            && device->value(QStringLiteral("Address")).toString().compare(address, Qt::CaseInsensitive) == 0) {
            return it.key().path();
        }
    }
    return {};
}

std::optional<int> BluezDirectory::deviceRssi(const Objects& objects, const QString& devicePath)
{
    const QVariant rssi
        = objects.value(QDBusObjectPath(devicePath)).value(deviceInterface).value(QStringLiteral("RSSI"));
    if (!rssi.isValid()) {
        return std::nullopt;
    }
    return rssi.toInt();
}

std::optional<int> BluezDirectory::characteristicMtu(
    const Objects& objects, const QString& devicePath, const QUuid& uuid)
{
    const QString prefix = devicePath + QLatin1Char('/');
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        if (!it.key().path().startsWith(prefix)) {
            continue;
        }
        const auto characteristic = it.value().constFind(characteristicInterface);
        if (characteristic == it.value().cend()
            || QUuid(characteristic->value(QStringLiteral("UUID")).toString()) != uuid) {
            continue;
        }
        const QVariant mtu = characteristic->value(QStringLiteral("MTU"));
        if (mtu.isValid() && mtu.toInt() > 0) {
            return mtu.toInt();
        }
    }
    return std::nullopt;
}

} // namespace murmeli::platform
