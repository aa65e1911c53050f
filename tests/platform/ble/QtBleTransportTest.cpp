#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ble/BleTransport.h"
#include "platform/ble/BleTransportFactory.h"
#include "platform/ble/NordicUart.h"
#include "tests/platform/ble/SimulatedBluez.h"
#include "tests/support/Wait.h"

namespace murmeli::platform {
namespace {

using AdapterState = BleTransport::AdapterState;
using WriteMode = BleTransport::WriteMode;

// Everything the transport signalled, in the order it came.
struct Signals final {
    std::optional<AdapterState> adapterState;
    std::optional<QList<BlePeripheral>> connectedPeripherals;
    std::vector<BlePeripheral> found;
    int connected = 0;
    QStringList connectFailures;
    std::optional<QString> disconnected;
    std::optional<std::pair<bool, bool>> serviceReady;
    QStringList serviceFailures;
    QByteArray notified;
    QStringList writeFailures;
    std::optional<int> rssi;
    QStringList rssiFailures;

    explicit Signals(BleTransport& transport)
    {
        QObject::connect(&transport, &BleTransport::adapterStateChanged, [this](AdapterState s) { adapterState = s; });
        QObject::connect(&transport, &BleTransport::connectedPeripheralsFound,
            [this](const QList<BlePeripheral>& list) { connectedPeripherals = list; });
        QObject::connect(
            &transport, &BleTransport::peripheralFound, [this](const BlePeripheral& p) { found.push_back(p); });
        QObject::connect(&transport, &BleTransport::connected, [this] { ++connected; });
        QObject::connect(
            &transport, &BleTransport::connectFailed, [this](const QString& e) { connectFailures.append(e); });
        QObject::connect(&transport, &BleTransport::disconnected, [this](const QString& e) { disconnected = e; });
        QObject::connect(&transport, &BleTransport::serviceReady,
            [this](bool canWrite, bool canNotify) { serviceReady = std::pair(canWrite, canNotify); });
        QObject::connect(
            &transport, &BleTransport::serviceFailed, [this](const QString& e) { serviceFailures.append(e); });
        QObject::connect(&transport, &BleTransport::notified, [this](const QByteArray& v) { notified += v; });
        QObject::connect(&transport, &BleTransport::writeFailed, [this](const QString& e) { writeFailures.append(e); });
        QObject::connect(&transport, &BleTransport::rssiRead, [this](int dbm) { rssi = dbm; });
        QObject::connect(
            &transport, &BleTransport::rssiReadFailed, [this](const QString& e) { rssiFailures.append(e); });
    }

    std::optional<BlePeripheral> foundNamed(const QString& name) const
    {
        for (const BlePeripheral& p : found) {
            if (p.name == name) {
                return p;
            }
        }
        return std::nullopt;
    }
};

// The QtBluetooth backend against BlueZ simulated on a private system bus. Qt connects to the system bus once per
// process, so the simulated BlueZ is started once, by the first test here, and stopped with the application; every
// test leaves it without adapters, as it found it.
class QtBleTransportTest : public testing::Test {
protected:
    static void SetUpTestSuite() { s_bluez = test::SimulatedBluez::shared(&s_skipReason); }

    void SetUp() override
    {
#if !MURMELI_HAVE_QT_BLUETOOTH
        GTEST_SKIP() << "murmeli was built without Qt Bluetooth";
#endif
        if (!s_bluez) {
            GTEST_SKIP() << s_skipReason.toStdString();
        }
    }

    void TearDown() override
    {
        if (s_bluez && !m_adapter.isEmpty()) {
            EXPECT_TRUE(s_bluez->removeAdapter(m_adapter));
        }
    }

    // Adds the adapter hci, removed again after the test, with one device offering the Nordic UART service.
    std::optional<test::SimulatedBluez::Device> adapterWithDevice(
        const QString& hci, const QString& name, const QString& address, int mtu)
    {
        if (!s_bluez->addAdapter(hci)) {
            return std::nullopt;
        }
        m_adapter = hci;
        return s_bluez->addDevice(hci, name, address, mtu);
    }

    // Starts the transport on a powered adapter; false when the adapter does not come up.
    static bool startPowered(BleTransport& transport, Signals& heard)
    {
        transport.start();
        return test::waitUntil([&] { return heard.adapterState.has_value(); })
            && *heard.adapterState == AdapterState::PoweredOn;
    }

    // Connects to the peripheral and opens the Nordic UART service; false when either does not happen.
    static bool connectAndOpen(BleTransport& transport, Signals& heard, const BlePeripheral& peripheral)
    {
        if (!transport.connectTo(peripheral)
            || !test::waitUntil([&] { return heard.connected > 0 || !heard.connectFailures.isEmpty(); })
            || heard.connected == 0) {
            return false;
        }
        transport.openService(nordicUart::service, nordicUart::rx, nordicUart::tx);
        return test::waitUntil([&] { return heard.serviceReady || !heard.serviceFailures.isEmpty(); })
            && heard.serviceReady == std::pair(true, true);
    }

    static test::SimulatedBluez* s_bluez;
    static QString s_skipReason;
    QString m_adapter;
};

test::SimulatedBluez* QtBleTransportTest::s_bluez = nullptr;
QString QtBleTransportTest::s_skipReason;

TEST_F(QtBleTransportTest, WithoutAnAdapterReportsUnsupportedAndRefusesEverything)
{
    std::unique_ptr<BleTransport> transport = makeBleTransport();
    Signals heard(*transport);

    EXPECT_FALSE(transport->isAvailable());
    EXPECT_EQ(transport->unavailableReason().toStdString(), "no Bluetooth adapter");
    transport->start();
    ASSERT_TRUE(test::waitUntil([&] { return heard.adapterState.has_value(); }));
    EXPECT_EQ(*heard.adapterState, AdapterState::Unsupported);
    EXPECT_FALSE(transport->startScan());
    EXPECT_FALSE(transport->connectTo({ QStringLiteral("AA:BB:CC:DD:EE:01"), QStringLiteral("murmeli"), 0 }));
    EXPECT_FALSE(transport->write("S?\n", WriteMode::WithoutResponse));
    EXPECT_FALSE(transport->readRssi());
    transport->requestConnectedPeripherals(nordicUart::service);
    ASSERT_TRUE(test::waitUntil([&] { return heard.connectedPeripherals.has_value(); }));
    EXPECT_TRUE(heard.connectedPeripherals->isEmpty());
}

TEST_F(QtBleTransportTest, ScansConnectsWritesALineAndReceivesANotifiedLine)
{
    const auto device = adapterWithDevice(
        QStringLiteral("hci0"), QStringLiteral("murmeli-7F"), QStringLiteral("AA:BB:CC:DD:EE:01"), 185);
    ASSERT_TRUE(device);
    std::unique_ptr<BleTransport> transport = makeBleTransport();
    Signals heard(*transport);
    ASSERT_TRUE(transport->isAvailable()) << transport->unavailableReason().toStdString();
    ASSERT_TRUE(startPowered(*transport, heard));

    ASSERT_TRUE(transport->startScan());
    ASSERT_TRUE(test::waitUntil([&] { return heard.foundNamed(QStringLiteral("murmeli-7F")).has_value(); }));
    const BlePeripheral found = *heard.foundNamed(QStringLiteral("murmeli-7F"));
    EXPECT_EQ(found.id, QStringLiteral("AA:BB:CC:DD:EE:01"));
    transport->stopScan();
    EXPECT_FALSE(transport->isScanning());

    ASSERT_TRUE(connectAndOpen(*transport, heard, found))
        << (heard.connectFailures + heard.serviceFailures).join(u';').toStdString();
    EXPECT_EQ(transport->peripheral().name.toStdString(), "murmeli-7F");
    // The ATT MTU of 185 leaves 182 bytes for one write without response.
    EXPECT_EQ(transport->maximumWriteLength(WriteMode::WithoutResponse), 182);

    ASSERT_TRUE(transport->write("S?\n", WriteMode::WithoutResponse));
    ASSERT_TRUE(transport->write(QByteArray(40, 'a'), WriteMode::WithResponse));
    std::optional<test::SimulatedBluez::Written> written;
    ASSERT_TRUE(test::waitUntil([&] {
        written = s_bluez->written(*device);
        return written && written->types.size() == 2;
    }));
    EXPECT_EQ(written->bytes, "S?\n" + QByteArray(40, 'a'));
    EXPECT_EQ(written->types, QStringList({ QStringLiteral("command"), QStringLiteral("request") }));

    // The device's line arrives split over two notifications.
    ASSERT_TRUE(s_bluez->notify(*device, "PT:sta"));
    ASSERT_TRUE(s_bluez->notify(*device, "rt\r\n"));
    ASSERT_TRUE(test::waitUntil([&] { return heard.notified.size() >= 10; }));
    EXPECT_EQ(heard.notified, "PT:start\r\n");

    // A write without response longer than the link carries is refused by BlueZ, and that is reported.
    ASSERT_TRUE(transport->write(QByteArray(183, 'b'), WriteMode::WithoutResponse));
    ASSERT_TRUE(test::waitUntil([&] { return !heard.writeFailures.isEmpty(); }));

    // BlueZ holds the strength it last heard the device advertise at.
    ASSERT_TRUE(transport->readRssi());
    ASSERT_TRUE(test::waitUntil([&] { return heard.rssi || !heard.rssiFailures.isEmpty(); }));
    EXPECT_EQ(heard.rssi, -79);

    transport->requestConnectedPeripherals(nordicUart::service);
    ASSERT_TRUE(test::waitUntil([&] { return heard.connectedPeripherals.has_value(); }));
    ASSERT_EQ(heard.connectedPeripherals->size(), 1);
    EXPECT_EQ(heard.connectedPeripherals->at(0).name, QStringLiteral("murmeli-7F"));

    ASSERT_TRUE(s_bluez->drop(*device));
    ASSERT_TRUE(test::waitUntil([&] { return heard.disconnected.has_value(); }));
    EXPECT_FALSE(transport->write("S?\n", WriteMode::WithoutResponse));
}

TEST_F(QtBleTransportTest, ReportsTheHostsDisconnectAnUnknownDeviceAndTheRadioGoingOff)
{
    const auto device = adapterWithDevice(
        QStringLiteral("hci1"), QStringLiteral("murmeli-2B"), QStringLiteral("AA:BB:CC:DD:EE:02"), 23);
    ASSERT_TRUE(device);
    std::unique_ptr<BleTransport> transport = makeBleTransport();
    Signals heard(*transport);
    ASSERT_TRUE(startPowered(*transport, heard));

    // BlueZ knows the device already (as it knows a paired one), so it connects by address without a scan.
    ASSERT_TRUE(connectAndOpen(*transport, heard, { QStringLiteral("AA:BB:CC:DD:EE:02"), {}, 0 }));
    EXPECT_EQ(transport->maximumWriteLength(WriteMode::WithoutResponse), 20);
    EXPECT_EQ(transport->maximumWriteLength(WriteMode::WithResponse), 512);
    transport->disconnectPeripheral();
    ASSERT_TRUE(test::waitUntil([&] { return heard.disconnected.has_value(); }));
    EXPECT_EQ(heard.disconnected->toStdString(), "");
    EXPECT_FALSE(s_bluez->notify(*device, "late\n"));

    ASSERT_TRUE(transport->connectTo({ QStringLiteral("AA:BB:CC:DD:EE:99"), QStringLiteral("murmeli"), 0 }));
    ASSERT_TRUE(test::waitUntil([&] { return !heard.connectFailures.isEmpty(); }));
    EXPECT_EQ(heard.connected, 1);

    heard.adapterState.reset();
    ASSERT_TRUE(s_bluez->setPowered(QStringLiteral("hci1"), false));
    ASSERT_TRUE(test::waitUntil([&] { return heard.adapterState.has_value(); }));
    EXPECT_EQ(*heard.adapterState, AdapterState::PoweredOff);
    EXPECT_FALSE(transport->startScan());
    EXPECT_FALSE(transport->connectTo({ QStringLiteral("AA:BB:CC:DD:EE:02"), {}, 0 }));
}

} // namespace
} // namespace murmeli::platform
