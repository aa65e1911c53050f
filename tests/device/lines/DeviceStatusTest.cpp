#include "main/device/lines/DeviceStatus.h"

#include <gtest/gtest.h>

using murmeli::device::DeviceStatus;

TEST(DeviceStatusTest, DecodesAFullReply)
{
    const auto status = DeviceStatus::decodeSrLine(QStringLiteral(
        R"(SR:{"name":"murmeli-7","sec":3600,"bat":{"pct":87,"mV":4012,"mA":-120,"usb":true},)"
        R"("sys":{"up":4294967295,"heap":123456},"stats":{"appr":5,"deny":2,"vel":1,"nap":3,"lvl":4},"extra":[1]})"));
    ASSERT_TRUE(status);
    EXPECT_EQ(status->name, QStringLiteral("murmeli-7"));
    EXPECT_EQ(status->sec, 3600);
    EXPECT_EQ(status->bat, (DeviceStatus::Battery { 87, 4012, -120, true }));
    EXPECT_EQ(status->sys, (DeviceStatus::System { 4294967295u, 123456 }));
    EXPECT_EQ(status->stats, (DeviceStatus::Stats { 5, 2, 1, 3, 4 }));
}

TEST(DeviceStatusTest, MissingOrMistypedFieldsKeepTheirDefaults)
{
    const auto empty = DeviceStatus::decodeSrLine(QStringLiteral("SR:{}"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, DeviceStatus {});
    EXPECT_EQ(empty->bat.pct, -1);

    const auto odd = DeviceStatus::decode(
        R"({"name":5,"sec":1.5,"bat":"full","sys":{"up":-4,"heap":1e12},"stats":{"appr":"7","deny":true}})");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->name, QString());
    EXPECT_EQ(odd->sec, 0);
    EXPECT_EQ(odd->bat, DeviceStatus::Battery {});
    // Out-of-range counters are clamped rather than costing the reply.
    EXPECT_EQ(odd->sys.up, 0u);
    EXPECT_EQ(odd->sys.heap, 4294967295u);
    EXPECT_EQ(odd->stats, DeviceStatus::Stats {});
}

TEST(DeviceStatusTest, AnythingButAnObjectIsNoReply)
{
    EXPECT_FALSE(DeviceStatus::decodeSrLine(QStringLiteral("SR:[1,2]")));
    EXPECT_FALSE(DeviceStatus::decodeSrLine(QStringLiteral("SR:{bad")));
    EXPECT_FALSE(DeviceStatus::decodeSrLine(QStringLiteral("SR:")));
    EXPECT_FALSE(DeviceStatus::decodeSrLine(QStringLiteral(R"(XR:{"sec":1})")));
}
