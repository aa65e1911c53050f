#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "main/app/shell/InstanceChannel.h"
#include "tests/support/Wait.h"

using murmeli::app::InstanceChannel;

// A second start hands its request to the running one; with nobody listening it learns so at once. A socket left by
// an instance that is gone is taken over; one that is alive is not.
TEST(InstanceChannelTest, ASecondStartReachesTheRunningOneAndOnlyThatOne)
{
    QTemporaryDir dir;
    const QString name = dir.path() + QStringLiteral("/control");
    EXPECT_FALSE(InstanceChannel::sendToRunning(name, QStringLiteral("show-settings")));

    // What a crashed instance leaves behind: the socket's file with nobody on it.
    {
        InstanceChannel crashed(name);
        ASSERT_TRUE(crashed.listen());
    }
    QFile leftover(name);
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();

    InstanceChannel running(name);
    QStringList requests;
    running.onRequest = [&](const QString& request) { requests.append(request); };
    ASSERT_TRUE(running.listen());
    InstanceChannel second(name);
    EXPECT_FALSE(second.listen()) << "a live instance keeps its socket";
    EXPECT_TRUE(running.isListening());

    EXPECT_TRUE(InstanceChannel::sendToRunning(name, QStringLiteral("show-settings")));
    EXPECT_TRUE(InstanceChannel::sendToRunning(name, QString(100, QLatin1Char('x'))));
    EXPECT_TRUE(InstanceChannel::sendToRunning(name, QStringLiteral("show-settings")));
    ASSERT_TRUE(murmeli::test::waitUntil([&] { return requests.size() == 2; }));
    EXPECT_EQ(requests, (QStringList { "show-settings", "show-settings" })) << "an overlong request is dropped";
}
