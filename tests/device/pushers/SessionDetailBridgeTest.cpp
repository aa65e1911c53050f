#include "main/device/pushers/SessionDetailBridge.h"

#include <gtest/gtest.h>

#include "tests/device/support/FakeDevice.h"

using namespace murmeli;
using device::SessionDetailBridge;
using Row = SessionDetailBridge::WireRow;

namespace {

const QString dash = QString(QChar(0x2014));

} // namespace

TEST(SessionDetailBridgeLinesTest, LineFields)
{
    EXPECT_EQ(SessionDetailBridge::buildWireLine(
                  { "0123456789", "working", "fix, the: bug\nnow", "A model name of 20 c", "", "18.2k", "", "", 150 }),
        QStringLiteral("SD:01234567,working,fix  the: bug no,A model name of ,") + dash + QStringLiteral(",18.2k,0,")
            + dash + QStringLiteral(",99"));
    EXPECT_EQ(SessionDetailBridge::buildWireLine({ "a", "idle", "b", "Opus", "High", "1", "2", "3s", -3 }),
        QStringLiteral("SD:a,idle,b,Opus,High,1,2,3s,0"));
}

TEST(SessionDetailBridgeLinesTest, RelativeTimes)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const std::pair<qint64, const char*> cases[] = { { 0, "0s" }, { 59, "59s" }, { 60, "1m" }, { 3599, "59m" },
        { 3600, "1h" }, { 86399, "23h" }, { 86400, "1d" }, { 863999, "9d" }, { 864000, "9d+" }, { -2, "now" } };
    for (const auto& [ago, text] : cases) {
        EXPECT_EQ(SessionDetailBridge::relativeTime(now.addSecs(-ago), now), QString::fromLatin1(text)) << ago;
    }
    EXPECT_EQ(SessionDetailBridge::relativeTime(now.addMSecs(500), now), QStringLiteral("0s"));
}

TEST(SessionDetailBridgeLinesTest, RowsFromSessions)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    const Row active = SessionDetailBridge::wireRow(
        { "s1", "proj", "working", now.addSecs(-12), 18000, 200000, "Opus 4", "", 0 }, now);
    EXPECT_EQ(active, (Row { "s1", "working", "proj", "Opus 4", "", "18k", "200k", "12s", 0 }));
    const Row other = SessionDetailBridge::wireRow({ "s2", "", "idle", now.addSecs(-120), 0, 0, "", "", 0 }, now);
    EXPECT_EQ(SessionDetailBridge::buildWireLine(other),
        QStringLiteral("SD:s2,idle,s2,") + dash + QLatin1Char(',') + dash + QStringLiteral(",0,0,2m,0"));
}

class SessionDetailBridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.connect());
        device.takeLines();
        details.rowsProvider = [this] {
            QList<Row> rows;
            for (const auto& [sid, updatedAt] : sessions) {
                rows.append(SessionDetailBridge::wireRow({ sid, sid, "idle", updatedAt }, device.clock.now()));
            }
            return rows;
        };
    }

    test::FakeDevice device;
    SessionDetailBridge details { *device.link, device.clock };
    QList<std::pair<QString, QDateTime>> sessions;
};

TEST_F(SessionDetailBridgeTest, PushesAreCoalescedAndOnlyChangedLinesGo)
{
    sessions = { { "s1", device.clock.now() }, { "s2", device.clock.now() } };
    details.start();
    EXPECT_EQ(device.takeLines(), (QStringList { "SD:s1,idle,s1,—,—,0,0,0s,0", "SD:s2,idle,s2,—,—,0,0,0s,0" }));

    sessions.append({ "s3", device.clock.now() });
    device.clock.advance(50);
    details.pushNow();
    details.pushNow();
    EXPECT_TRUE(device.takeLines().isEmpty());
    device.clock.advance(149);
    EXPECT_TRUE(device.takeLines().isEmpty());
    device.clock.advance(1);
    EXPECT_EQ(device.takeLines(), QStringList { "SD:s3,idle,s3,—,—,0,0,0s,0" });
    device.clock.advance(SessionDetailBridge::refreshIntervalMs);
    details.pushNow();
    EXPECT_TRUE(device.takeLines().isEmpty());
}

TEST_F(SessionDetailBridgeTest, HeartbeatSendsWhatTimeChangedAndVanishedSessionsComeBack)
{
    sessions = { { "s1", device.clock.now() } };
    details.start();
    device.takeLines();
    device.clock.advance(SessionDetailBridge::heartbeatIntervalMs);
    EXPECT_EQ(device.takeLines(), QStringList { "SD:s1,idle,s1,—,—,0,0,30s,0" });
    device.clock.advance(SessionDetailBridge::heartbeatIntervalMs);
    EXPECT_EQ(device.takeLines(), QStringList { "SD:s1,idle,s1,—,—,0,0,1m,0" });
    device.clock.advance(SessionDetailBridge::heartbeatIntervalMs);
    EXPECT_TRUE(device.takeLines().isEmpty());

    const auto kept = sessions;
    sessions.clear();
    device.clock.advance(SessionDetailBridge::refreshIntervalMs);
    details.pushNow();
    sessions = kept;
    device.clock.advance(SessionDetailBridge::refreshIntervalMs);
    details.pushNow();
    EXPECT_EQ(device.takeLines(), QStringList { "SD:s1,idle,s1,—,—,0,0,1m,0" });
}

TEST_F(SessionDetailBridgeTest, AReconnectedDeviceGetsEveryLineAgain)
{
    sessions = { { "s1", device.clock.now() } };
    details.start();
    device.takeLines();
    device.transport->dropConnection();
    ASSERT_TRUE(device.reconnect());
    device.takeLines();
    device.clock.advance(SessionDetailBridge::connectedPushDelayMs);
    EXPECT_EQ(device.takeLines().size(), 1);
}
