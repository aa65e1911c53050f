#include "main/app/console/DeviceConsole.h"

#include <optional>

#include <gtest/gtest.h>

#include <QStringList>

#include "platform/ble/NordicUart.h"
#include "platform/ble/fake/FakeBleTransport.h"
#include "tests/support/Wait.h"

namespace murmeli::app {
namespace {

using platform::BlePeripheral;
using platform::FakeBleTransport;
using WriteMode = platform::BleTransport::WriteMode;

struct ConsoleRun final {
    FakeBleTransport transport;
    DeviceConsole console { transport, QStringLiteral("murmeli") };
    QStringList output;
    std::optional<int> status;

    ConsoleRun()
    {
        console.onOutput = [this](const QString& text) { output.append(text); };
        console.onFinished = [this](int code) { status = code; };
    }
};

TEST(DeviceConsoleTest, FindsTheDeviceByNameShowsItsLinesAndSendsTypedLinesInPieces)
{
    ConsoleRun run;
    run.transport.setMaximumWriteLength(WriteMode::WithoutResponse, 20);
    run.console.start();
    ASSERT_TRUE(test::waitUntil([&] { return run.transport.isScanning(); }));
    ASSERT_EQ(run.transport.connectedPeripheralRequests().size(), 1U);
    EXPECT_EQ(run.transport.connectedPeripheralRequests().front(), platform::nordicUart::service);

    // Only a name that holds the filter word, in the same case, qualifies.
    run.transport.advertise({ QStringLiteral("11:22:33:44:55:01"), {}, -40 });
    run.transport.advertise({ QStringLiteral("11:22:33:44:55:02"), QStringLiteral("MURMELI-9"), -45 });
    EXPECT_TRUE(run.transport.connectRequests().empty());
    run.transport.advertise({ QStringLiteral("11:22:33:44:55:03"), QStringLiteral("pad murmeli-3"), -50 });
    ASSERT_EQ(run.transport.connectRequests().size(), 1U);
    EXPECT_EQ(run.transport.connectRequests().front().id, QStringLiteral("11:22:33:44:55:03"));
    EXPECT_FALSE(run.transport.isScanning());

    run.console.send(QStringLiteral("too early"));
    ASSERT_TRUE(run.transport.completeConnection());
    ASSERT_EQ(run.transport.serviceRequests().size(), 1U);
    EXPECT_EQ(run.transport.serviceRequests().front().writeCharacteristic, platform::nordicUart::rx);
    EXPECT_TRUE(run.console.isReady());

    const QString line = QStringLiteral("Q:0123456789abcdef,Bash,ls -la ~/Ünïcode");
    run.console.send(line);
    const QByteArray sent = line.toUtf8() + '\n';
    EXPECT_EQ(run.transport.writtenBytes(), sent);
    ASSERT_EQ(run.transport.writes().size(), static_cast<size_t>((sent.size() + 19) / 20));
    for (const FakeBleTransport::Write& write : run.transport.writes()) {
        EXPECT_LE(write.value.size(), 20);
        EXPECT_EQ(write.mode, WriteMode::WithoutResponse);
    }

    // Lines split over notifications, several in one, a carriage return before the line feed.
    run.transport.notify("SR:{\"bat\":8");
    run.transport.notify("0}\r\nPT:start\nPT:e");
    run.transport.notify("nd\n");
    EXPECT_TRUE(run.output.contains(QStringLiteral("< SR:{\"bat\":80}")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("< PT:start")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("< PT:end")));
    EXPECT_TRUE(run.output.contains(QStringLiteral("Not connected yet; line not sent")));

    run.console.inputClosed();
    ASSERT_TRUE(test::waitUntil([&] { return run.status.has_value(); }));
    EXPECT_EQ(*run.status, 0);
    EXPECT_EQ(run.transport.disconnectRequests(), 1);
}

TEST(DeviceConsoleTest, TakesADeviceTheSystemHasConnectedAndFailsWhenTheLinkDrops)
{
    ConsoleRun run;
    run.transport.setConnectedPeripherals({ { QStringLiteral("11:22:33:44:55:07"), QStringLiteral("murmeli-7"), 0 } });
    run.console.start();
    ASSERT_TRUE(test::waitUntil([&] { return !run.transport.connectRequests().empty(); }));
    EXPECT_EQ(run.transport.scanStarts(), 0);
    ASSERT_TRUE(run.transport.completeConnection());

    // Device text without a line feed past the cap is dropped; a complete line before it is kept.
    run.transport.notify("PT:cancel\n" + QByteArray(DeviceConsole::maxLineBytes + 1, 'x'));
    EXPECT_TRUE(run.output.contains(QStringLiteral("< PT:cancel")));
    run.transport.notify("R:abc,allow\n");
    EXPECT_EQ(run.output.last(), QStringLiteral("< R:abc,allow"));

    run.transport.dropConnection(QStringLiteral("out of range"));
    ASSERT_TRUE(run.status.has_value());
    EXPECT_EQ(*run.status, 1);
}

// What the device sends, and the name it advertises, reach the user's terminal as visible text: an escape sequence
// can neither clear the screen nor retitle the window.
TEST(DeviceConsoleTest, ControlCharactersFromTheDeviceAreShownEscaped)
{
    ConsoleRun run;
    run.console.start();
    ASSERT_TRUE(test::waitUntil([&] { return run.transport.isScanning(); }));
    run.transport.advertise({ QStringLiteral("11:22:33:44:55:08"), QStringLiteral("murmeli\x1b]0;owned\x07"), -40 });
    ASSERT_TRUE(run.transport.completeConnection());
    run.transport.notify("E:done|\x1b[2J\x1b[31mred\x7f\r\n");

    EXPECT_EQ(run.output.last(), QStringLiteral("< E:done|\\x1b[2J\\x1b[31mred\\x7f"));
    EXPECT_TRUE(run.output.contains(QStringLiteral("Found murmeli\\x1b]0;owned\\x07 (11:22:33:44:55:08, RSSI -40)")));
}

TEST(DeviceConsoleTest, EndsWithFailureWithoutBluetoothOrWhenNothingIsFoundInTime)
{
    ConsoleRun unavailable;
    unavailable.transport.setUnavailable(QStringLiteral("no Bluetooth adapter"));
    unavailable.console.start();
    ASSERT_TRUE(unavailable.status.has_value());
    EXPECT_EQ(*unavailable.status, 1);
    EXPECT_EQ(unavailable.output.last(), QStringLiteral("Bluetooth is unavailable: no Bluetooth adapter"));

    ConsoleRun searching;
    searching.console.start();
    ASSERT_TRUE(test::waitUntil([&] { return searching.transport.isScanning(); }));
    searching.console.giveUp();
    ASSERT_TRUE(searching.status.has_value());
    EXPECT_EQ(*searching.status, 1);
    EXPECT_FALSE(searching.transport.isScanning());
}

} // namespace
} // namespace murmeli::app
