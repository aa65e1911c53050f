#include "main/device/pushers/SListBridge.h"

#include <gtest/gtest.h>

#include "tests/device/support/FakeDevice.h"

using namespace murmeli;
using device::SListBridge;
using Row = SListBridge::WireRow;

TEST(SListBridgeLinesTest, LineFields)
{
    struct Case {
        const char* name;
        QList<Row> rows;
        int maxRows;
        const char* expected;
    };
    const Case cases[] = {
        { "none", {}, 6, "SL:0" },
        { "no rows allowed", { { "a", "idle", "x" } }, 0, "SL:0" },
        { "one", { { "abc", "working", "proj" } }, 6, "SL:1,abc:working:proj" },
        { "id cut to 8, separators in id and name", { { "0123456789", "idle", "my:proj,x|y" } }, 6,
            "SL:1,01234567:idle:my proj x y" },
        { "name cut to 16, 16 stays", { { "a", "idle", "seventeen-chars-x" }, { "b", "idle", "sixteen-chars-xy" } }, 6,
            "SL:2,a:idle:seventeen-chars-,b:idle:sixteen-chars-xy" },
        { "state word unchanged, empty name kept", { { "a", "odd,word", "" } }, 6, "SL:1,a:odd,word:" },
        { "rows beyond the limit left out", { { "1", "idle", "" }, { "2", "idle", "" }, { "3", "idle", "" } }, 2,
            "SL:2,1:idle:,2:idle:" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SListBridge::buildWireLine(c.rows, c.maxRows), QString::fromUtf8(c.expected)) << c.name;
    }
}

TEST(SListBridgeLinesTest, ApprovalsComeFirstAndTiesKeepTheirOrder)
{
    QList<Row> rows;
    for (int i = 1; i <= 6; ++i) {
        rows.append({ QString::number(i), i % 2 ? "idle" : "working", "" });
    }
    rows.append({ "7", "approval", "" });
    rows.append({ "8", "approval", "" });
    rows.append({ "9", "mystery", "" });
    rows.append({ "10", "silent", "" });
    QStringList order;
    for (const Row& row : SListBridge::sortedForWire(rows)) {
        order << row.id;
    }
    EXPECT_EQ(order, (QStringList { "7", "8", "2", "4", "6", "1", "3", "5", "10", "9" }));
    EXPECT_EQ(SListBridge::buildWireLine(SListBridge::sortedForWire(rows)),
        QStringLiteral("SL:6,7:approval:,8:approval:,2:working:,4:working:,6:working:,1:idle:"));
}

TEST(SListBridgeTest, SendsOnlyChangesAndAgainAfterAReconnection)
{
    test::FakeDevice device;
    ASSERT_TRUE(device.connect());
    device.takeLines();
    SListBridge list(*device.link, device.clock);
    QList<Row> rows;
    list.sessionsProvider = [&] { return rows; };
    list.start();
    // No sessions is what the device is told; nothing is made up.
    EXPECT_EQ(device.takeLines(), QStringList { "SL:0" });
    list.pushNow();
    EXPECT_TRUE(device.takeLines().isEmpty());

    rows = { { "s1", "working", "alpha" } };
    device.clock.advance(SListBridge::refreshIntervalMs);
    EXPECT_EQ(device.takeLines(), QStringList { "SL:1,s1:working:alpha" });
    device.clock.advance(SListBridge::refreshIntervalMs);
    EXPECT_TRUE(device.takeLines().isEmpty());

    device.transport->dropConnection();
    ASSERT_TRUE(device.reconnect());
    device.takeLines();
    device.clock.advance(SListBridge::connectedPushDelayMs - 1);
    EXPECT_TRUE(device.takeLines().isEmpty());
    device.clock.advance(1);
    EXPECT_EQ(device.takeLines(), QStringList { "SL:1,s1:working:alpha" });
}
