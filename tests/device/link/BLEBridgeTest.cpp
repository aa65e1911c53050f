#include "main/device/link/BLEBridge.h"

#include <gtest/gtest.h>

#include <QThread>

#include "platform/ble/NordicUart.h"
#include "tests/device/support/AudioReference.h"
#include "tests/device/support/FakeDevice.h"
#include "tests/support/TaskResult.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using device::BLEBridge;
using device::DeviceLineWriter;
using device::DeviceStatusError;
using platform::BlePeripheral;
using platform::FakeBleTransport;
using test::waitUntil;
using WriteMode = platform::BleTransport::WriteMode;

namespace {

class BLEBridgeTest : public ::testing::Test {
protected:
    test::FakeDevice device;
    FakeBleTransport& transport = *device.transport;
    BLEBridge& link = *device.link;
};

std::optional<DeviceStatusError> errorOf(const std::optional<DeviceLineWriter::StatusOutcome>& outcome)
{
    if (!outcome || !std::holds_alternative<DeviceStatusError>(*outcome)) {
        return std::nullopt;
    }
    return std::get<DeviceStatusError>(*outcome);
}

} // namespace

TEST_F(BLEBridgeTest, FindsTheDeviceByNameConnectsAndSyncsTime)
{
    // Nothing is written while not connected.
    link.send(QStringLiteral("L:red,k"));
    link.sendBinary("abc");
    EXPECT_TRUE(transport.writes().empty());
    EXPECT_EQ(transport.refusedWrites(), 0);

    int notices = 0;
    link.addStateObserver([&] { ++notices; });
    link.start();
    ASSERT_TRUE(waitUntil([&] { return transport.isScanning(); }));
    EXPECT_EQ(link.scanState(), BLEBridge::ScanState::Scanning);

    // Only a name holding the word, in the same case, qualifies.
    transport.advertise({ QStringLiteral("id-1"), QString(), -40 });
    transport.advertise({ QStringLiteral("id-2"), QStringLiteral("MURMELI"), -40 });
    transport.advertise({ QStringLiteral("id-3"), QStringLiteral("headphones"), -40 });
    EXPECT_TRUE(transport.connectRequests().empty());
    transport.advertise({ QStringLiteral("id-4"), QStringLiteral("my-murmeli-2"), -61 });
    ASSERT_EQ(transport.connectRequests().size(), 1u);
    EXPECT_EQ(transport.connectRequests().front().id, QStringLiteral("id-4"));
    EXPECT_FALSE(transport.isScanning());

    ASSERT_TRUE(transport.completeConnection());
    ASSERT_EQ(transport.serviceRequests().size(), 1u);
    EXPECT_EQ(transport.serviceRequests().front().service, platform::nordicUart::service);
    EXPECT_EQ(transport.serviceRequests().front().writeCharacteristic, platform::nordicUart::rx);
    EXPECT_EQ(transport.serviceRequests().front().notifyCharacteristic, platform::nordicUart::tx);
    EXPECT_TRUE(link.isConnected());
    EXPECT_GE(notices, 3);
    EXPECT_EQ(link.connectionStateString(), QStringLiteral("poweredOn/connected[my-murmeli-2]"));
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Found my-murmeli-2 (RSSI -61)")));
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Connected (my-murmeli-2 + mic)")));
    EXPECT_EQ(device.takeLines(),
        QStringList { QStringLiteral("TS:") + QString::number(device.clock.now().toSecsSinceEpoch()) + ":0" });

    device.clock.advance(DeviceLineWriter::defaultTimeSyncIntervalMs - 1);
    EXPECT_TRUE(device.takeLines().isEmpty());
    device.clock.advance(1);
    EXPECT_EQ(device.takeLines().size(), 1);
}

TEST_F(BLEBridgeTest, AnAlreadyConnectedDeviceIsTakenWithoutAScan)
{
    transport.setConnectedPeripherals({ { QStringLiteral("x"), QStringLiteral("keyboard"), 0 },
        { QStringLiteral("y"), QStringLiteral("murmeli"), 0 } });
    link.start();
    ASSERT_TRUE(waitUntil([&] { return !transport.connectRequests().empty(); }));
    EXPECT_EQ(transport.connectRequests().front().id, QStringLiteral("y"));
    EXPECT_EQ(transport.scanStarts(), 0);
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Found paired device murmeli")));
}

TEST_F(BLEBridgeTest, LongLinesGoInOrderedPiecesOfTheLinksWriteSize)
{
    ASSERT_TRUE(device.connect());
    device.takeLines();
    const QString line = QStringLiteral("Q:") + QString(90, QLatin1Char('x')) + QStringLiteral("ü…");
    const auto before = transport.writes().size();
    link.send(line);
    const auto& writes = transport.writes();
    ASSERT_GT(writes.size() - before, 1u);
    for (auto i = before; i < writes.size(); ++i) {
        EXPECT_LE(writes[i].value.size(), transport.maximumWriteLength(WriteMode::WithoutResponse));
        EXPECT_EQ(writes[i].mode, WriteMode::WithoutResponse);
    }
    EXPECT_EQ(device.takeLines(), QStringList { line });

    transport.setMaximumWriteLength(WriteMode::WithResponse, 182);
    transport.clearRecords();
    link.sendBinary(QByteArray(1000, 'a'));
    std::vector<qsizetype> sizes;
    for (const auto& write : transport.writes()) {
        EXPECT_EQ(write.mode, WriteMode::WithResponse);
        sizes.push_back(write.value.size());
    }
    EXPECT_EQ(sizes, (std::vector<qsizetype> { 182, 182, 182, 182, 182, 90 }));

    transport.setMaximumWriteLength(WriteMode::WithResponse, 12);
    transport.clearRecords();
    link.sendBinary(QByteArray(45, 'b'));
    ASSERT_EQ(transport.writes().size(), 3u);
    EXPECT_EQ(transport.writes()[0].value.size(), 20);
    EXPECT_EQ(transport.writes()[2].value.size(), 5);
}

TEST_F(BLEBridgeTest, IncomingLinesAreFramedTrimmedAndRouted)
{
    ASSERT_TRUE(device.connect());
    transport.notify("R:tu-1,allow\nPT:st");
    EXPECT_EQ(device.controlLines, QStringList { "R:tu-1,allow" });
    transport.notify("art\r\n   \r\n\t R:tu-2,deny \r\n");
    EXPECT_EQ(device.controlLines, (QStringList { "R:tu-1,allow", "PT:start", "R:tu-2,deny" }));

    // Not valid UTF-8: dropped.
    transport.notify("R:\xff\xfe\n");
    EXPECT_EQ(device.controlLines.size(), 3);
}

TEST_F(BLEBridgeTest, OverflowKeepsCompleteLinesAndDropsTheOverlongOneWhole)
{
    ASSERT_TRUE(device.connect());
    transport.notify(QByteArray(4000, 'a'));
    // The 4000 bytes and these 50 finish a line within the cap; the rest of the chunk starts the next one.
    transport.notify(QByteArray(50, 'b') + "\nPT:end\n");
    ASSERT_EQ(device.controlLines.size(), 2);
    EXPECT_EQ(device.controlLines.at(0).size(), 4050);
    EXPECT_EQ(device.controlLines.at(1), QStringLiteral("PT:end"));
    device.controlLines.clear();

    // A line that outgrows the cap is thrown away up to its own line feed; its tail is no line of its own, and
    // complete lines in the same chunk survive.
    transport.notify("R:ok,deny\n" + QByteArray(5000, 'd'));
    transport.notify("tail-of-the-long-line\nR:next,allow\n");
    EXPECT_EQ(device.controlLines, (QStringList { "R:ok,deny", "R:next,allow" }));
}

TEST_F(BLEBridgeTest, AReconnectionStartsWithAnEmptyBufferAndInTextMode)
{
    ASSERT_TRUE(device.connect());
    transport.notify("R:half-of-a-li");
    link.startAudioCapture();
    ASSERT_TRUE(transport.dropConnection(QStringLiteral("out of range")));
    EXPECT_FALSE(link.isConnected());
    EXPECT_FALSE(link.isReceivingAudio());
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Disconnected")));

    ASSERT_TRUE(device.reconnect());
    transport.notify("PT:start\n");
    EXPECT_EQ(device.controlLines, QStringList { "PT:start" });
}

TEST_F(BLEBridgeTest, StopLeavesTheLinkDownUntilTheNextStart)
{
    ASSERT_TRUE(device.connect());
    int notices = 0;
    link.addStateObserver([&] { ++notices; });
    link.stop();
    EXPECT_TRUE(link.isStopped());
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(notices, 1);
    ASSERT_TRUE(waitUntil([&] { return device.log.contains(QStringLiteral("BLE: Disconnected")); }));
    transport.clearRecords();

    device.clock.advance(10 * BLEBridge::retryDelayMs);
    transport.setAdapterState(platform::BleTransport::AdapterState::PoweredOff);
    transport.setAdapterState(platform::BleTransport::AdapterState::PoweredOn);
    QCoreApplication::processEvents();
    EXPECT_EQ(transport.scanStarts(), 0);
    EXPECT_TRUE(transport.connectedPeripheralRequests().empty());
    EXPECT_TRUE(transport.connectRequests().empty());
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Central state → poweredOff")));

    link.start();
    EXPECT_TRUE(link.isStarted());
    EXPECT_EQ(transport.startCount(), 0);
    EXPECT_TRUE(device.reconnect());
}

TEST_F(BLEBridgeTest, FailuresAndDropsRetryAfterTwoSeconds)
{
    link.start();
    ASSERT_TRUE(waitUntil([&] { return transport.isScanning(); }));
    transport.advertise({ QStringLiteral("id"), QStringLiteral("murmeli"), -50 });
    ASSERT_TRUE(transport.failConnection(QStringLiteral("le-connection-abort-by-local")));
    EXPECT_TRUE(device.log.contains(QStringLiteral("BLE: Connect failed — le-connection-abort-by-local")));
    transport.clearRecords();
    device.clock.advance(BLEBridge::retryDelayMs - 1);
    EXPECT_TRUE(transport.connectedPeripheralRequests().empty());
    device.clock.advance(1);
    EXPECT_EQ(transport.connectedPeripheralRequests().size(), 1u);
    EXPECT_TRUE(device.reconnect());
}

TEST_F(BLEBridgeTest, StatusQueryEndsOnItsReplyItsOwnTimeOutOrTheLinksEnd)
{
    EXPECT_EQ(errorOf(*test::keepResult(link.lines().queryDeviceStatus())), DeviceStatusError::NotConnected);
    ASSERT_TRUE(device.connect());
    device.takeLines();

    auto first = test::keepResult(link.lines().queryDeviceStatus());
    EXPECT_EQ(device.takeLines(), QStringList { "S?" });
    EXPECT_EQ(errorOf(*test::keepResult(link.lines().queryDeviceStatus())), DeviceStatusError::NotConnected);
    transport.notify(R"(SR:{"name":"murmeli-01","bat":{"pct":80}})"
                     "\r\n");
    ASSERT_TRUE(*first);
    ASSERT_TRUE(std::holds_alternative<device::DeviceStatus>(**first));
    EXPECT_EQ(std::get<device::DeviceStatus>(**first).bat.pct, 80);
    EXPECT_TRUE(device.controlLines.isEmpty());

    // A newer query started within the older one's five seconds is not ended by the older time-out.
    device.clock.advance(3000);
    auto second = test::keepResult(link.lines().queryDeviceStatus());
    device.clock.advance(2500);
    EXPECT_FALSE(*second);
    device.clock.advance(2499);
    EXPECT_FALSE(*second);
    device.clock.advance(1);
    EXPECT_EQ(errorOf(*second), DeviceStatusError::Timeout);
    // A reply after the time-out is dropped.
    transport.notify("SR:{}\n");
    EXPECT_TRUE(device.controlLines.isEmpty());

    auto malformed = test::keepResult(link.lines().queryDeviceStatus());
    transport.notify("SR:[1]\n");
    EXPECT_EQ(errorOf(*malformed), DeviceStatusError::MalformedResponse);

    auto dropped = test::keepResult(link.lines().queryDeviceStatus());
    transport.dropConnection();
    EXPECT_EQ(errorOf(*dropped), DeviceStatusError::Disconnected);
}

TEST_F(BLEBridgeTest, DeviceAudioIsCollectedAndExpandedFromMuLaw)
{
    ASSERT_TRUE(device.connect());
    QList<QByteArray> chunks;
    link.onAudioChunk = [&](const QByteArray& chunk) { chunks << chunk; };
    EXPECT_TRUE(link.stopAudioCapture().isEmpty());

    QByteArray mulaw;
    for (int i = 0; i < 256; ++i) {
        mulaw.append(static_cast<char>(i));
    }
    link.startAudioCapture();
    transport.notify(mulaw.left(100));
    transport.notify(mulaw.mid(100));
    EXPECT_EQ(chunks.size(), 2);
    // Byte 10 is a line feed: audio, not a line.
    EXPECT_TRUE(device.controlLines.isEmpty());
    const QByteArray pcm = link.stopAudioCapture();
    EXPECT_EQ(pcm.size(), 512);
    transport.notify("PT:end\n");
    EXPECT_EQ(device.controlLines, QStringList { "PT:end" });

    const auto reference = test::audioopReference(QStringLiteral("audioop.ulaw2lin(data, 2)"), mulaw);
    if (!reference) {
        GTEST_SKIP() << "no Python with the audioop module";
    }
    EXPECT_EQ(pcm, *reference);
}

TEST_F(BLEBridgeTest, SignalStrengthIsReadEveryFiveSeconds)
{
    transport.setRssi(-70);
    ASSERT_TRUE(device.connect());
    int notices = 0;
    link.addStateObserver([&] { ++notices; });
    device.clock.advance(BLEBridge::rssiIntervalMs);
    EXPECT_EQ(transport.rssiReads(), 1);
    ASSERT_TRUE(waitUntil([&] { return link.rssi() == -70; }));
    EXPECT_EQ(notices, 1);
    device.clock.advance(BLEBridge::rssiIntervalMs);
    EXPECT_EQ(transport.rssiReads(), 2);
    transport.dropConnection();
    EXPECT_EQ(link.rssi(), 0);
    device.clock.advance(BLEBridge::rssiIntervalMs);
    EXPECT_EQ(transport.rssiReads(), 2);
}

TEST_F(BLEBridgeTest, LinesFromOtherThreadsAreWrittenOnTheLinksThread)
{
    ASSERT_TRUE(device.connect());
    device.takeLines();
    QThread* worker = QThread::create([this] {
        link.send(QStringLiteral("Q:tu-1,warn"));
        link.lines().sendEvent(QStringLiteral("done"), QString(), std::nullopt);
    });
    worker->start();
    worker->wait();
    delete worker;
    // Nothing touched the transport from the worker; the lines wait for the link's own thread.
    EXPECT_TRUE(device.peekLines().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return device.peekLines().size() == 2; }));
    EXPECT_EQ(device.takeLines(), (QStringList { "Q:tu-1,warn", "E:done" }));
}

TEST_F(BLEBridgeTest, StatusAndEventLines)
{
    ASSERT_TRUE(device.connect());
    device.takeLines();
    hooks::ClaudeStatus status;
    status.model = QStringLiteral("Opus");
    status.sessionId = QStringLiteral("s-1");
    link.lines().sendStatusFull(status, {}, 0, 0, 10, 5);
    QStringList sent = device.takeLines();
    ASSERT_EQ(sent.size(), 4);
    EXPECT_EQ(sent.at(2), QStringLiteral("M:Opus"));
    link.lines().sendStatusFull(status, {}, 0, 0, 10, 5);
    EXPECT_EQ(device.takeLines().size(), 2);

    // A reconnected device has forgotten the model and the session.
    transport.dropConnection();
    ASSERT_TRUE(device.reconnect());
    device.takeLines();
    link.lines().sendStatusFull(status, {}, 0, 0, 10, 5);
    EXPECT_EQ(device.takeLines().size(), 4);

    link.lines().sendEvent(QStringLiteral("prompt"), QString(), QStringLiteral("first"));
    link.lines().sendEvent(QStringLiteral("prompt"), QString(), QStringLiteral("second"));
    link.lines().sendEvent(QStringLiteral("done"), QString(), std::nullopt);
    link.lines().sendEventImmediate(QStringLiteral("error"), QString(), QStringLiteral("now"));
    EXPECT_EQ(device.takeLines(), (QStringList { "E:prompt|first", "E:done", "E:error|now" }));
    device.clock.advance(device::EventLimiter::defaultIntervalMs);
    EXPECT_EQ(device.takeLines(), QStringList { "E:prompt|second" });
}

TEST_F(BLEBridgeTest, TheRadioGoingOffEndsTheLinkAndItComesBackWithTheRadio)
{
    ASSERT_TRUE(device.connect());
    auto query = test::keepResult(link.lines().queryDeviceStatus());
    transport.setAdapterState(platform::BleTransport::AdapterState::PoweredOff);
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(link.scanState(), BLEBridge::ScanState::Off);
    EXPECT_EQ(link.connectionStateString(), QStringLiteral("poweredOff/disconnected"));
    EXPECT_EQ(errorOf(*query), DeviceStatusError::Disconnected);
    transport.setAdapterState(platform::BleTransport::AdapterState::PoweredOn);
    EXPECT_TRUE(device.reconnect());
}
