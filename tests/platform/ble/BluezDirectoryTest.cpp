#include "platform/ble/qt/BluezDirectory.h"

#include <gtest/gtest.h>

#include <QStringList>

#include "platform/ble/NordicUart.h"

namespace murmeli::platform {
namespace {

const QString adapter = QStringLiteral("/org/bluez/hci0");
const QString nus = QStringLiteral("6e400001-b5a3-f393-e0a9-e50e24dcca9e");

struct DeviceRow final {
    QString address;
    QString name; // "" for none
    bool connected = true;
    QStringList uuids = { nus };
    QString adapterPath = adapter;
};

BluezDirectory::Objects objectsWith(const std::vector<DeviceRow>& rows)
{
    BluezDirectory::Objects objects;
    objects[QDBusObjectPath(adapter)][QStringLiteral("org.bluez.Adapter1")]
        = { { QStringLiteral("Address"), QStringLiteral("00:01:02:03:04:05") } };
    objects[QDBusObjectPath(QStringLiteral("/org/bluez/hci1"))][QStringLiteral("org.bluez.Adapter1")]
        = { { QStringLiteral("Address"), QStringLiteral("01:02:03:04:05:06") } };
    for (const DeviceRow& row : rows) {
        QVariantMap device { { QStringLiteral("Address"), row.address },
            { QStringLiteral("Alias"), row.name.isEmpty() ? row.address : row.name },
            { QStringLiteral("Connected"), row.connected }, { QStringLiteral("UUIDs"), row.uuids },
            { QStringLiteral("Adapter"), QVariant::fromValue(QDBusObjectPath(row.adapterPath)) } };
        if (!row.name.isEmpty()) {
            device.insert(QStringLiteral("Name"), row.name);
        }
        const QString path = row.adapterPath + QStringLiteral("/dev_") + QString(row.address).replace(u':', u'_');
        objects[QDBusObjectPath(path)][QStringLiteral("org.bluez.Device1")] = device;
    }
    return objects;
}

TEST(BluezDirectoryTest, ConnectedDevicesAreThoseOfTheAdapterThatAreConnectedAndOfferTheService)
{
    const BluezDirectory::Objects objects = objectsWith({
        { QStringLiteral("AA:00:00:00:00:01"), QStringLiteral("murmeli-1") },
        { QStringLiteral("AA:00:00:00:00:02"), QStringLiteral("murmeli-2"), false },
        { QStringLiteral("AA:00:00:00:00:03"), QStringLiteral("headset"), true,
            { QStringLiteral("0000110b-0000-1000-8000-00805f9b34fb") } },
        { QStringLiteral("AA:00:00:00:00:04"), QStringLiteral("murmeli-4"), true, { nus },
            QStringLiteral("/org/bluez/hci1") },
        { QStringLiteral("AA:00:00:00:00:05"), {} },
    });

    const QList<BlePeripheral> found
        = BluezDirectory::connectedWithService(objects, QStringLiteral("00:01:02:03:04:05"), nordicUart::service);
    QStringList ids;
    for (const BlePeripheral& peripheral : found) {
        ids.append(peripheral.id + QLatin1Char('=') + peripheral.name);
    }
    // A device without an advertised name is listed with none, never with the address BlueZ shows as its alias.
    EXPECT_EQ(ids.join(u' ').toStdString(), "AA:00:00:00:00:01=murmeli-1 AA:00:00:00:00:05=");
    EXPECT_TRUE(BluezDirectory::connectedWithService(objects, QStringLiteral("0A:0B:0C:0D:0E:0F"), nordicUart::service)
                    .isEmpty());
}

TEST(BluezDirectoryTest, SignalStrengthAndMtuAreReadWhereBlueZHoldsThem)
{
    BluezDirectory::Objects objects = objectsWith({ { QStringLiteral("AA:00:00:00:00:01"), QStringLiteral("m") } });
    const QString device = BluezDirectory::devicePath(objects, QStringLiteral("aa:00:00:00:00:01"));
    ASSERT_EQ(device.toStdString(), "/org/bluez/hci0/dev_AA_00_00_00_00_01");
    EXPECT_EQ(BluezDirectory::deviceRssi(objects, device), std::nullopt);
    EXPECT_EQ(BluezDirectory::characteristicMtu(objects, device, nordicUart::rx), std::nullopt);

    objects[QDBusObjectPath(device)][QStringLiteral("org.bluez.Device1")][QStringLiteral("RSSI")]
        = QVariant::fromValue<qint16>(-61);
    const auto characteristic = [&](const QString& leaf, const QUuid& uuid, int mtu) {
        objects[QDBusObjectPath(device + leaf)][QStringLiteral("org.bluez.GattCharacteristic1")]
            = { { QStringLiteral("UUID"), uuid.toString(QUuid::WithoutBraces) },
                  { QStringLiteral("MTU"), QVariant::fromValue<quint16>(mtu) } };
    };
    characteristic(QStringLiteral("/service0010/char0013"), nordicUart::tx, 100);
    characteristic(QStringLiteral("/service0010/char0011"), nordicUart::rx, 247);
    EXPECT_EQ(BluezDirectory::deviceRssi(objects, device), -61);
    EXPECT_EQ(BluezDirectory::characteristicMtu(objects, device, nordicUart::rx), 247);
    EXPECT_EQ(BluezDirectory::devicePath(objects, QStringLiteral("AA:00:00:00:00:09")), QString());
}

} // namespace
} // namespace murmeli::platform
