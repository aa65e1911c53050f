#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <iostream>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include "main/app/shell/InstanceChannel.h"
#include "tests/support/Wait.h"

using murmeli::app::InstanceChannel;
using HandOver = murmeli::app::InstanceChannel::HandOver;

namespace {

// The later start is a process of its own; a thread stands in for it here, while this one serves the channel.
HandOver handOver(const QString& name, const QString& request)
{
    auto sent = std::async(std::launch::async, [=] { return InstanceChannel::sendToRunning(name, request); });
    murmeli::test::waitUntil(
        [&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000);
    return sent.get();
}

} // namespace

// A second start hands its request to the running one; with nobody listening it learns so at once. A socket left by
// an instance that is gone is taken over; one that is alive is not.
TEST(InstanceChannelTest, ASecondStartReachesTheRunningOneAndOnlyThatOne)
{
    QTemporaryDir dir;
    const QString name = dir.path() + QStringLiteral("/control");
    EXPECT_EQ(InstanceChannel::sendToRunning(name, QStringLiteral("show-settings")), HandOver::NotReached);

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
    running.onRequest = [&](const QString& request) {
        requests.append(request);
        return true;
    };
    ASSERT_TRUE(running.listen());
    InstanceChannel second(name);
    EXPECT_FALSE(second.listen()) << "a live instance keeps its socket";
    EXPECT_TRUE(second.isTakenByAnother());
    EXPECT_TRUE(running.isListening());

    EXPECT_EQ(handOver(name, QStringLiteral("show-settings")), HandOver::Taken);
    EXPECT_EQ(handOver(name, QString(100, QLatin1Char('x'))), HandOver::NoAnswer);
    EXPECT_EQ(handOver(name, QStringLiteral("show-settings")), HandOver::Taken);
    ASSERT_TRUE(murmeli::test::waitUntil([&] { return requests.size() == 2; }));
    EXPECT_EQ(requests, (QStringList { "show-settings", "show-settings" })) << "an overlong request is dropped";
}

// Without a runtime folder, and with a home too long for a socket's path in it, the socket lives in a folder of the
// user's own in the temporary folder: a link there, or anything at the socket's name that is another user's, is never
// used, and a second start does not take a foreign socket for a running murmeli.
TEST(InstanceChannelTest, TheFallbackIsAFolderOfTheUsersOwnAndAForeignSocketIsNeverUsed)
{
    QTemporaryDir temp;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmpdir = qgetenv("TMPDIR");
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmpdir);
        qputenv("HOME", home);
    });
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temp.path()));
    const QString longHome = temp.filePath(QString(100, QLatin1Char('h')));
    ASSERT_TRUE(QDir().mkpath(longHome));
    qputenv("HOME", QFile::encodeName(longHome));

    const QString folder = temp.path() + QStringLiteral("/murmeli-%1").arg(::getuid());
    ASSERT_TRUE(QFile::link(temp.path(), folder));
    QString problem;
    EXPECT_TRUE(InstanceChannel::standardName(&problem).isEmpty());
    EXPECT_TRUE(problem.contains(folder) && problem.contains(longHome)) << problem.toStdString();
    ASSERT_TRUE(QFile::remove(folder));

    const QString name = InstanceChannel::standardName(&problem);
    ASSERT_EQ(name, folder + QStringLiteral("/control")) << problem.toStdString();
    struct stat made { };
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0700u);

    if (::getuid() != 0) {
        GTEST_SKIP() << "only root can leave another user's socket here";
    }
    // Another user's listening socket at the name.
    InstanceChannel foreign(name);
    QStringList received;
    foreign.onRequest = [&](const QString& request) {
        received.append(request);
        return true;
    };
    ASSERT_TRUE(foreign.listen());
    ASSERT_EQ(::lchown(QFile::encodeName(name).constData(), 65534, 65534), 0);
    EXPECT_EQ(InstanceChannel::sendToRunning(name, QStringLiteral("show")), HandOver::NotReached);
    InstanceChannel mine(name);
    EXPECT_FALSE(mine.listen(&problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("another user"))) << problem.toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.isEmpty());
    EXPECT_TRUE(QFileInfo(name).exists()) << "another user's socket is left alone";
}

// A runtime folder that others may write to could let them take the socket's name, and one the user cannot write to
// holds no socket: each is passed over, with the reason, for a folder of the user's own.
TEST(InstanceChannelTest, ARuntimeFolderThatIsNotSafelyTheUsersIsPassedOverWithTheReason)
{
    QTemporaryDir temp;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("HOME", home);
    });
    qputenv("HOME", QFile::encodeName(temp.path()));
    const QString own = temp.path() + QStringLiteral("/.murmeli/run/control");
    const bool root = ::geteuid() == 0;
    struct Case {
        const char* name;
        mode_t mode;
        bool immutable; // what keeps root from writing where a mode cannot
        const char* why; // empty: the runtime folder is used
    };
    const std::vector<Case> cases {
        { "the user's own", 0700, false, "" },
        { "open to others", 0777, false, "writable by group or others" },
        { "not writable", root ? mode_t(0700) : mode_t(0500), root, "cannot be written to" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = temp.filePath(QString::fromLatin1(c.name).replace(QLatin1Char(' '), QLatin1Char('-')));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QByteArray path = QFile::encodeName(folder);
        ASSERT_EQ(::chmod(path.constData(), c.mode), 0);
        if (c.immutable) {
            ASSERT_EQ(QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), folder }), 0)
                << "chattr +i is needed to keep root from writing";
        }
        const auto unpin = qScopeGuard([&] {
            if (c.immutable) {
                QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), folder });
            }
        });
        qputenv("XDG_RUNTIME_DIR", path);
        QString problem;
        QString passedOver;
        const QString name = InstanceChannel::standardName(&problem, &passedOver);
        if (*c.why == '\0') {
            EXPECT_EQ(name.toStdString(), (folder + QStringLiteral("/murmeli-control")).toStdString());
            EXPECT_EQ(passedOver.toStdString(), "");
        } else {
            EXPECT_EQ(name.toStdString(), own.toStdString()) << problem.toStdString();
            EXPECT_TRUE(passedOver.contains(folder) && passedOver.contains(QLatin1String(c.why)))
                << passedOver.toStdString();
        }
    }
}
