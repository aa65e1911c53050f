#pragma once

#include <functional>
#include <optional>

#include <QDBusObjectPath>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVariantMap>

#include "platform/ble/BleTransport.h"

namespace murmeli::platform {

/// What BlueZ tells over the system bus that QtBluetooth 6.4 does not: which devices the system has connected, the
/// signal strength BlueZ last saw of a device and the ATT MTU of a connection. Every read is asynchronous and
/// answers on the thread that asked.
class BluezDirectory final : public QObject {
    Q_OBJECT

public:
    /// One snapshot of BlueZ's objects: per object path, per interface, its properties.
    using Objects = QMap<QDBusObjectPath, QMap<QString, QVariantMap>>;

    BluezDirectory();

    /// Whether BlueZ answers on the system bus.
    bool isReachable() const;
    /// Reads all of BlueZ's objects; done gets nullopt when BlueZ did not answer.
    void read(std::function<void(std::optional<Objects>)> done);

    /// The devices under adapterAddress's adapter (any adapter when it is "") that are connected and offer service.
    static QList<BlePeripheral> connectedWithService(
        const Objects& objects, const QString& adapterAddress, const QUuid& service);
    /// The object path of the device with address; "" when BlueZ does not know it.
    static QString devicePath(const Objects& objects, const QString& address);
    /// The signal strength BlueZ holds for the device at devicePath; nullopt where it holds none (BlueZ keeps it
    /// only while it hears the device advertise).
    static std::optional<int> deviceRssi(const Objects& objects, const QString& devicePath);
    /// The ATT MTU of the characteristic with uuid below devicePath; nullopt where BlueZ does not tell (before 5.62).
    static std::optional<int> characteristicMtu(const Objects& objects, const QString& devicePath, const QUuid& uuid);
};

} // namespace murmeli::platform
