#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "main/app/shell/InstanceChannel.h"
#include "main/app/shell/InstanceLock.h"
#include "tests/support/Wait.h"

using murmeli::app::InstanceChannel;
using murmeli::app::InstanceLock;

namespace {

// The later start is a process of its own; a thread stands in for it here, while this one serves the holder's channel
// (and may end the holder meanwhile, once until() holds).
InstanceLock::Claim claimBeside(InstanceLock& later, const QString& request, int patienceMs,
    const std::function<bool()>& until = {}, const std::function<void()>& then = {})
{
    auto claimed = std::async(std::launch::async, [&] { return later.claimOrHandOver(request, patienceMs); });
    const auto done = [&] { return claimed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    if (until) {
        murmeli::test::waitUntil([&] { return done() || until(); }, patienceMs + 5000);
        if (!done()) {
            then();
        }
    }
    murmeli::test::waitUntil(done, patienceMs + 5000);
    return claimed.get();
}

} // namespace

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
    channel.onRequest = [&](const QString& request) {
        requests.append(request);
        return true;
    };
    ASSERT_TRUE(channel.listen());
    ASSERT_TRUE(holder->announce(dir.filePath(QStringLiteral("control"))));
    EXPECT_EQ(claimBeside(later, QStringLiteral("show-settings"), 5000), InstanceLock::Claim::HandedOver);
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

// `kill <murmeli>; murmeli &`: the later start comes while the holder ends. An ending holder takes no request, whether
// it answers that it is ending or ends with the request unread in its socket's queue: the later start waits for the
// lock and runs, so that one murmeli runs afterwards.
TEST(InstanceLockTest, AHolderThatIsEndingTakesNoRequestAndTheLaterStartRuns)
{
    for (const bool answers : { true, false }) {
        SCOPED_TRACE(answers ? "it answers that it is ending" : "it ends before it reads the request");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("instance.lock"));
        const QString name = dir.filePath(QStringLiteral("control"));
        auto holder = std::make_unique<InstanceLock>(path);
        ASSERT_TRUE(holder->tryLock());
        auto channel = std::make_unique<InstanceChannel>(name);
        int asked = 0;
        channel->onRequest = [&](const QString&) {
            ++asked;
            return false;
        };
        // A listener that never accepts stands for a holder too busy ending to read its socket.
        int quiet = -1;
        if (answers) {
            ASSERT_TRUE(channel->listen());
        } else {
            quiet = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, QFile::encodeName(name).constData(), sizeof address.sun_path - 1);
            ASSERT_EQ(::bind(quiet, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(::listen(quiet, 8), 0);
        }
        ASSERT_TRUE(holder->announce(name));
        InstanceLock later(path);
        const InstanceLock::Claim claim = claimBeside(
            later, QStringLiteral("show"), 10000,
            [&] {
                pollfd waiting { quiet, POLLIN, 0 };
                return answers ? asked >= 2 : ::poll(&waiting, 1, 0) == 1;
            },
            [&] {
                channel.reset();
                if (quiet >= 0) {
                    ::close(quiet);
                }
                holder.reset();
            });
        EXPECT_EQ(claim, InstanceLock::Claim::Run);
        EXPECT_TRUE(later.isHeld());
    }
}
