#include "main/device/pushers/OverviewBridge.h"

#include <gtest/gtest.h>

#include "tests/device/support/FakeDevice.h"

using namespace murmeli;
using device::OverviewBridge;

namespace {

const QString dash = QString(QChar(0x2014));

class OverviewBridgeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(device.connect());
        device.takeLines();
    }

    test::FakeDevice device;
    OverviewBridge overview { *device.link, device.clock };
};

} // namespace

TEST(OverviewBridgeLinesTest, AccountAndPlanLines)
{
    struct Case {
        const char* name;
        OverviewBridge::Account account;
        QString expected;
    };
    const Case accounts[] = {
        { "signed out", {}, QStringLiteral("AU:murmeli,Free,") + dash },
        { "empty e-mail", { QString(), QStringLiteral("Pro"), std::nullopt },
            QStringLiteral("AU:murmeli,Free,") + dash },
        { "absent plan and renewal", { QStringLiteral("a@b.c"), std::nullopt, std::nullopt },
            QStringLiteral("AU:a@b.c,Free,") + dash },
        { "separators and cuts",
            { QStringLiteral("x,y\nz|") + QString(40, QLatin1Char('e')), QStringLiteral("Pay Go Unlimited Plus"),
                QStringLiteral("2026-01-01 00:00") },
            QStringLiteral("AU:x y z ") + QString(26, QLatin1Char('e'))
                + QStringLiteral(",Pay Go Unlimited,2026-01-01 0") },
    };
    for (const Case& c : accounts) {
        EXPECT_EQ(OverviewBridge::accountLine(c.account), c.expected) << c.name;
    }

    const OverviewBridge::PlanCard card { QStringLiteral("Claude, Max plan ++"), 130, QStringLiteral("2h3m"), -5,
        QStringLiteral("2d6h,9m"), QStringLiteral("$19.54"), QStringLiteral("$1,234.50") };
    EXPECT_EQ(card.wireLine(), QStringLiteral("PL:Claude  Max plan,100,2h3m,0,2d6h 9m,$19.54,$1 234.5"));
}

TEST(OverviewBridgeLinesTest, SignalBars)
{
    const std::pair<int, int> bands[]
        = { { 0, 4 }, { -55, 4 }, { -56, 3 }, { -65, 3 }, { -66, 2 }, { -75, 2 }, { -76, 1 }, { -100, 1 } };
    for (const auto& [dbm, bars] : bands) {
        EXPECT_EQ(OverviewBridge::barsFor(true, dbm), bars) << dbm;
    }
    EXPECT_EQ(OverviewBridge::barsFor(false, -40), 0);
}

TEST_F(OverviewBridgeTest, AccountAndPlansOnlyWhenChangedTheFrameEveryTime)
{
    overview.start();
    // No plan data yet: no card is invented, and the frame says so.
    EXPECT_EQ(device.takeLines(), (QStringList { QStringLiteral("AU:murmeli,Free,") + dash, "DV:4,-1,0,0" }));
    overview.pushAll();
    EXPECT_EQ(device.takeLines(), QStringList { "DV:4,-1,0,0" });

    overview.accountProvider = [] {
        return OverviewBridge::Account { QStringLiteral("me@x.io"), QStringLiteral("Pro"), {} };
    };
    overview.planProvider = [] {
        return QList<OverviewBridge::PlanCard> { { QStringLiteral("Max"), 58, QStringLiteral("2h"), 25,
            QStringLiteral("2d"), QStringLiteral("$1"), QStringLiteral("$2") } };
    };
    device.clock.advance(OverviewBridge::refreshIntervalMs);
    // The tick pushes the frame before the plans and leaves the account alone.
    EXPECT_EQ(device.takeLines(), (QStringList { "DV:4,-1,30,0", "PL:Max,58,2h,25,2d,$1,$2" }));
    device.clock.advance(OverviewBridge::refreshIntervalMs);
    EXPECT_EQ(device.takeLines(), QStringList { "DV:4,-1,60,1" });
    overview.pushAccount();
    EXPECT_EQ(device.takeLines(), QStringList { QStringLiteral("AU:me@x.io,Pro,") + dash });
}

TEST_F(OverviewBridgeTest, AReconnectedDeviceHearsEverythingAgain)
{
    overview.planProvider = [] { return QList<OverviewBridge::PlanCard> { { QStringLiteral("Max") } }; };
    overview.start();
    EXPECT_EQ(device.takeLines().size(), 3);

    device.transport->dropConnection();
    ASSERT_TRUE(device.reconnect());
    EXPECT_EQ(device.takeLines().size(), 1); // the time sync
    device.clock.advance(OverviewBridge::connectedPushDelayMs);
    const QStringList again = device.takeLines();
    ASSERT_EQ(again.size(), 3);
    EXPECT_TRUE(again.at(0).startsWith(QStringLiteral("AU:")));
    EXPECT_EQ(again.at(1), QStringLiteral("PL:Max,0,,0,,,"));
    EXPECT_TRUE(again.at(2).endsWith(QStringLiteral(",1")));
}
