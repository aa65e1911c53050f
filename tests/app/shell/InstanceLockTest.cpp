#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "main/app/shell/InstanceChannel.h"
#include "main/app/shell/InstanceLock.h"
#include "tests/support/Wait.h"

using murmeli::app::InstanceChannel;
using murmeli::app::InstanceLock;

// One holder at a time. A later start hands its request to the socket the holder names, waits a bounded time for a
// holder that has not named one yet, and runs once the holder is gone, even while a program the holder started
// lives on.
TEST(InstanceLockTest, OneHolderAtATimeAndALaterStartFindsItsSocket)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    auto holder = std::make_unique<InstanceLock>(path);
    ASSERT_TRUE(holder->tryLock());
    InstanceLock later(path);
    EXPECT_FALSE(later.tryLock());

    QString problem;
    EXPECT_EQ(later.claimOrHandOver(QStringLiteral("show"), 300, &problem), InstanceLock::Claim::Failed);
    EXPECT_TRUE(problem.contains(path) && problem.contains(QStringLiteral("not finished starting")))
        << problem.toStdString();

    InstanceChannel channel(dir.filePath(QStringLiteral("control")));
    QStringList requests;
    channel.onRequest = [&](const QString& request) { requests.append(request); };
    ASSERT_TRUE(channel.listen());
    ASSERT_TRUE(holder->announce(dir.filePath(QStringLiteral("control"))));
    EXPECT_EQ(later.claimOrHandOver(QStringLiteral("show-settings"), 5000), InstanceLock::Claim::HandedOver);
    EXPECT_TRUE(murmeli::test::waitUntil([&] { return requests == QStringList { "show-settings" }; }));

    QProcess child;
    const auto stopChild = qScopeGuard([&] {
        child.kill();
        child.waitForFinished(5000);
    });
    child.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    ASSERT_TRUE(child.waitForStarted(5000));
    holder.reset();
    EXPECT_EQ(later.claimOrHandOver(QStringLiteral("show"), 5000), InstanceLock::Claim::Run)
        << "the holder's child kept the lock";
    EXPECT_TRUE(later.announcedChannel().isEmpty()) << "the socket of a holder that is gone is forgotten";
}
