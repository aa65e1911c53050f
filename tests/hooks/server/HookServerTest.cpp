#include <gtest/gtest.h>

#include <iostream>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <qcoro/qcorosignal.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "main/hooks/server/HookServer.h"
#include "platform/secrets/LayeredSecretStore.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "platform/secrets/file/FileSecretStore.h"
#include "platform/system/LoopbackPeer.h"
#include "platform/system/ResourceLimits.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HttpClient.h"
#include "tests/support/LoopbackSocket.h"
#include "tests/support/Wait.h"

using namespace murmeli;
using hooks::HookServer;
using test::expectedReply;
using test::HttpClient;
using test::postHook;
using test::replyOf;
using test::waitUntil;

namespace {

const QByteArray okReply = expectedReply(200, "OK", "{\"ok\":true}");
const QByteArray busyReply = expectedReply(503, "Service Unavailable", "Busy");
const QByteArray badRequestReply = expectedReply(400, "Bad Request", "Bad request");

// Sends the whole request and leaves the reply to be read; a small send buffer keeps a large one in flight until the
// server has read it. Unlike HttpClient it does not run the event loop, so the main thread takes no events meanwhile.
int sendBlocking(quint16 port, const QByteArray& request)
{
    const int fd = test::connectLoopback(port);
    const int sendBuffer = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    EXPECT_EQ(::send(fd, request.constData(), request.size(), MSG_NOSIGNAL), request.size());
    return fd;
}

QByteArray exchangeBlocking(quint16 port, const QByteArray& request)
{
    return replyOf(sendBlocking(port, request));
}

// Polls without running the event loop, so the main thread takes nothing meanwhile.
bool waitUntilNoLoop(const std::function<bool()>& done, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done();) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::usleep(1000);
    }
    return true;
}

bool readable(int fd)
{
    pollfd entry { fd, POLLIN, 0 };
    return ::poll(&entry, 1, 0) == 1;
}

int answered(const std::vector<int>& fds)
{
    return int(std::count_if(fds.begin(), fds.end(), readable));
}

// Connections from 127.0.0.2 stand for another user's: who connects is the kernel's to tell.
std::optional<uint> uidByAddress(qintptr fd)
{
    sockaddr_in peer {};
    socklen_t length = sizeof peer;
    ::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &length);
    return peer.sin_addr.s_addr == htonl(0x7f000002) ? 65534 : ::geteuid();
}

// count connections from 127.0.0.2, each of which sends these bytes and no more.
std::vector<int> connectAsAnother(quint16 port, int count, const QByteArray& sent)
{
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(0x7f000002);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::send(fd, sent.constData(), sent.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    return fds;
}

const QByteArray unfinishedHead = "POST /hook/PermissionRequest HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bear";

// A permission request with the secret the tests set.
QByteArray permissionRequest(const QByteArray& body)
{
    return "POST /hook/PermissionRequest HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer s3cret\r\n"
           "x-murmeli-adapter: claude\r\nContent-Length: 12\r\n\r\n"
        + body;
}

class HookServerTest : public ::testing::Test {
protected:
    void SetUp() override { startServer({}); }

    void startServer(
        hooks::HookServerOptions options, std::optional<QString> secret = std::nullopt, bool withAsync = false)
    {
        server = std::make_unique<HookServer>(platform::KeychainStore(secrets), options, clock);
        server->onLog = [this](const QString& line, common::LogColor) { logs << line; };
        server->onEvent = [this](const QString& name, const QJsonObject& payload) {
            events << name;
            payloads << payload;
        };
        if (withAsync) {
            server->asyncEventResponse = [this](QString name, QJsonObject, std::shared_ptr<hooks::HeldRequest> held) {
                asyncCalls << name;
                heldRequests << held;
                held->onClosed = [this] { ++closedCount; };
                return waitForRelease();
            };
        }
        server->start(0, secret, true);
        ASSERT_TRUE(server->isRunning());
        port = server->port();
    }

    QCoro::Task<std::optional<QString>> waitForRelease()
    {
        co_await qCoro(&releaser, &QObject::objectNameChanged);
        co_return asyncBody;
    }

    QByteArray raw(const QByteArray& head, const QByteArray& body = {})
    {
        HttpClient client(port);
        client.write(head + "\r\n\r\n" + body);
        return client.readUntilClosed();
    }

    std::shared_ptr<platform::FakeSecretStore> secrets = std::make_shared<platform::FakeSecretStore>();
    std::shared_ptr<common::Clock> clock = std::make_shared<common::SystemClock>();
    std::unique_ptr<HookServer> server;
    quint16 port = 0;
    QStringList logs;
    QStringList events;
    QList<QJsonObject> payloads;
    QStringList asyncCalls;
    QList<std::shared_ptr<hooks::HeldRequest>> heldRequests;
    int closedCount = 0;
    QObject releaser;
    std::optional<QString> asyncBody;
};

} // namespace

TEST_F(HookServerTest, AcceptedEventGetsTheExactReplyAndIsDelivered)
{
    EXPECT_EQ(server->lastEventAgeSec(), -1);
    EXPECT_TRUE(waitUntil([&] {
        return logs.contains(QStringLiteral("HookServer: listening on 127.0.0.1:%1 (legacy no-auth)").arg(port));
    })) << logs.join(QLatin1Char('\n')).toStdString();

    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), R"({"session_id":"abc"})"), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(events.first(), QStringLiteral("Stop"));
    EXPECT_EQ(payloads.first().value(QStringLiteral("session_id")).toString(), QStringLiteral("abc"));
    EXPECT_TRUE(logs.contains(QStringLiteral("Hook: Stop")));
    EXPECT_EQ(server->totalEventCount(), 1);
    EXPECT_EQ(server->lastEventAgeSec(), 0);
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0; }));
    EXPECT_EQ(server->listenerStateDescription(), QStringLiteral("ready"));
}

TEST_F(HookServerTest, ErrorRepliesOverTheWire)
{
    EXPECT_EQ(raw("GET /hook/Stop HTTP/1.1"), expectedReply(405, "Method Not Allowed", "Method not allowed"));
    EXPECT_EQ(postHook(port, QStringLiteral("/other"), "{}"), expectedReply(404, "Not Found", "Not found"));
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/"), "{}"), expectedReply(400, "Bad Request", "Missing event type"));
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nContent-Length: -3"), expectedReply(400, "Bad Request", "Bad request"));
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nContent-Length: ten"), expectedReply(400, "Bad Request", "Bad request"));
    // Query strings stay part of the event name; bodies that are not objects still deliver.
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop?x=1"), "[1,2]"), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(events.first(), QStringLiteral("Stop?x=1"));
    EXPECT_TRUE(payloads.first().isEmpty());
    EXPECT_EQ(server->totalEventCount(), 1);
}

TEST_F(HookServerTest, RequestWrittenByteByByte)
{
    const QByteArray body = R"({"session_id":"bytewise","text":"ünïcödé …"})";
    const QByteArray request = "POST /hook/Notification HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nx-murmeli-adapter: claude\r\n\r\n" + body;
    HttpClient client(port);
    for (const char byte : request) {
        client.write(QByteArray(1, byte));
    }
    EXPECT_EQ(client.readUntilClosed(), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(payloads.first().value(QStringLiteral("text")).toString(), QStringLiteral("ünïcödé …"));
    EXPECT_EQ(payloads.first().value(QStringLiteral("_murmeli_adapter")).toString(), QStringLiteral("claude"));
}

TEST_F(HookServerTest, WaitsForTheDeclaredBodyWhenContentLengthIsTheLastHeader)
{
    HttpClient early(port);
    early.write("POST /hook/First HTTP/1.1\r\nHost: localhost\r\nContent-Length: 20\r\n\r\n{\"session_id\":");
    // A complete request on a second connection is served while the first one waits for its body.
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Second"), "{}"), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(events, QStringList { QStringLiteral("Second") });
    EXPECT_FALSE(early.closedByServer());

    early.write("\"abc\"}");
    EXPECT_EQ(early.readUntilClosed(), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(payloads.last().value(QStringLiteral("session_id")).toString(), QStringLiteral("abc"));
}

TEST_F(HookServerTest, SizeCapIsInclusive)
{
    const auto requestOfSize = [](qsizetype total) {
        const QByteArray head = "POST /hook/Big HTTP/1.1\r\nContent-Length: ";
        const QByteArray body(total - head.size() - 6 - 4, ' ');
        return head + QByteArray::number(body.size()).rightJustified(6, '0') + "\r\n\r\n" + body;
    };
    const QByteArray fits = requestOfSize(262144);
    ASSERT_EQ(fits.size(), 262144);
    HttpClient a(port);
    a.write(fits);
    EXPECT_EQ(a.readUntilClosed(), okReply);

    HttpClient b(port);
    b.write(requestOfSize(262145));
    EXPECT_EQ(b.readUntilClosed(), expectedReply(413, "Payload Too Large", "Payload too large"));
    EXPECT_TRUE(waitUntil([&] { return events.size() == 1; }));
}

TEST_F(HookServerTest, BearerSecretIsEnforced)
{
    startServer({}, QStringLiteral("s3cret"));
    EXPECT_TRUE(server->authEnforced());
    EXPECT_TRUE(waitUntil([&] {
        return logs.contains(QStringLiteral("HookServer: listening on 127.0.0.1:%1 (auth enforced)").arg(port));
    }));
    const QByteArray unauthorized = expectedReply(401, "Unauthorized", R"({"error":"unauthorized"})");

    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}"), unauthorized);
    EXPECT_EQ(postHook(port, QStringLiteral("/wrong"), "{}"), unauthorized);
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}", "Authorization: bearer s3cret\r\n"), unauthorized);
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}", "Authorization: Bearer s3cre\r\n"), unauthorized);
    EXPECT_EQ(server->bearerRejectCount(), 4);
    EXPECT_EQ(server->totalEventCount(), 0);

    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}", "AUTHORIZATION: Bearer s3cret\r\n"), okReply);
    EXPECT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(server->bearerRejectCount(), 4);
}

TEST_F(HookServerTest, SecretComesFromTheKeychainUnlessGivenOrSkipped)
{
    secrets->save(
        QString::fromLatin1(platform::KeychainStore::hookAuthService), QStringLiteral("secret"), "from-store");
    HookServer keyed { platform::KeychainStore(secrets) };
    keyed.start(0);
    EXPECT_EQ(keyed.secret(), QStringLiteral("from-store"));
    EXPECT_EQ(
        postHook(keyed.port(), QStringLiteral("/hook/Stop"), "{}", "Authorization: Bearer from-store\r\n"), okReply);

    HookServer skipped { platform::KeychainStore(secrets) };
    skipped.start(0, std::nullopt, true);
    EXPECT_FALSE(skipped.authEnforced());

    HookServer given { platform::KeychainStore(secrets) };
    given.start(0, QString());
    EXPECT_FALSE(given.authEnforced());
}

// An install while murmeli runs stores the secret its hooks carry: from then on an event needs that one. An install
// that stored nothing (it failed before it made one) leaves the check as it was.
TEST_F(HookServerTest, ASecretAnInstallStoresIsTakenUpWhileRunningAndNoneLeavesTheCheckAsItWas)
{
    const QString service = QString::fromLatin1(platform::KeychainStore::hookAuthService);
    const QByteArray unauthorized = expectedReply(401, "Unauthorized", R"({"error":"unauthorized"})");
    const struct {
        const char* what;
        std::optional<QByteArray> before;
        std::optional<QByteArray> after;
        // The bearer that gets in afterwards; empty: none is needed.
        QByteArray accepted;
    } cases[] = {
        { "none stored before, the install stores one", std::nullopt, "fresh", "fresh" },
        { "one stored before, the install stores another", "old", "new", "new" },
        { "one stored before, none after", "old", std::nullopt, "old" },
        { "none stored before nor after", std::nullopt, std::nullopt, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto store = std::make_shared<platform::FakeSecretStore>();
        if (c.before) {
            store->save(service, QStringLiteral("secret"), *c.before);
        }
        HookServer keyed { platform::KeychainStore(store) };
        keyed.start(0);
        ASSERT_TRUE(keyed.isRunning());
        if (c.after) {
            store->save(service, QStringLiteral("secret"), *c.after);
        } else {
            store->remove(service, QStringLiteral("secret"));
        }
        keyed.takeUpStoredSecret();
        EXPECT_EQ(keyed.authEnforced(), !c.accepted.isEmpty());
        EXPECT_EQ(
            postHook(keyed.port(), QStringLiteral("/hook/Stop"), "{}"), c.accepted.isEmpty() ? okReply : unauthorized);
        if (!c.accepted.isEmpty()) {
            EXPECT_EQ(postHook(keyed.port(), QStringLiteral("/hook/Stop"), "{}",
                          "Authorization: Bearer " + c.accepted + "\r\n"),
                okReply);
        }
    }
}

// The secret file as a restore, a copy without -p, a dotfile manager, another user or an editor leaves it: whatever
// shape it has, an event without the secret is refused unless no secret is stored at all, and the log names the
// file and what was wrong with it.
TEST_F(HookServerTest, AStoredSecretThatCannotBeUsedNeverTurnsTheCheckOff)
{
    enum class Shape { Missing, Regular, Link, OtherUser };
    const struct {
        const char* what;
        Shape shape;
        QByteArray content;
        mode_t mode;
        // The bearer that gets in; none when every event is refused.
        std::optional<QByteArray> accepted;
        // What the log says of the file, beside its path; empty when it says nothing of it.
        QString why;
    } cases[] = {
        { "a private file", Shape::Regular, "s3cret", 0600, "s3cret", {} },
        { "a file open to others", Shape::Regular, "s3cret", 0644, "s3cret", QStringLiteral("(mode 0644)") },
        { "a file ending in a line break", Shape::Regular, "s3cret\n", 0600, "s3cret", {} },
        { "a symbolic link to a private file", Shape::Link, "s3cret", 0600, std::nullopt,
            QStringLiteral("symbolic link") },
        { "another user's file", Shape::OtherUser, "s3cret", 0600, std::nullopt, QStringLiteral("another user") },
        { "no file", Shape::Missing, {}, 0, QByteArray(), {} },
        // What the file may hold that no hook can send: made by hand, or cut short or garbled on the way.
        { "a file over 64 KiB", Shape::Regular, "s3cret" + QByteArray(64 * 1024, ' '), 0600, std::nullopt,
            QStringLiteral("over 64 KiB") },
        { "random bytes", Shape::Regular, QByteArray::fromHex("8f3ac1ffe0017b9d"), 0600, std::nullopt,
            QStringLiteral("not UTF-8 text") },
        { "only white space", Shape::Regular, " \t\r\n\n", 0600, std::nullopt, QStringLiteral("white space") },
        { "an empty file", Shape::Regular, "", 0600, std::nullopt, QStringLiteral("is empty") },
        { "a NUL byte", Shape::Regular, QByteArray("s3cret\0", 7), 0600, std::nullopt, QStringLiteral("NUL") },
        { "a line break inside", Shape::Regular, "s3c\nret\n", 0600, std::nullopt, QStringLiteral("line break") },
        { "a carriage return inside", Shape::Regular, "s3c\rret", 0600, std::nullopt, QStringLiteral("line break") },
        { "open to others and random", Shape::Regular, QByteArray::fromHex("ff01"), 0640, std::nullopt,
            QStringLiteral("not UTF-8 text") },
    };
    const QByteArray unauthorized = expectedReply(401, "Unauthorized", R"({"error":"unauthorized"})");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.shape == Shape::OtherUser && ::geteuid() != 0) {
            std::cout << "[ SKIPPED  ] another user's file: only root can make one\n";
            continue;
        }
        QTemporaryDir home;
        const QString directory = home.path() + QStringLiteral("/secrets");
        ASSERT_TRUE(QDir().mkpath(directory));
        const QString file = directory + QStringLiteral("/") + QLatin1String(platform::KeychainStore::hookAuthService)
            + QStringLiteral(".secret");
        if (c.shape != Shape::Missing) {
            const QString target = c.shape == Shape::Link ? home.path() + QStringLiteral("/kept-elsewhere") : file;
            QFile written(target);
            ASSERT_TRUE(written.open(QIODevice::WriteOnly));
            written.write(c.content);
            written.close();
            ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), c.mode), 0);
            if (c.shape == Shape::Link) {
                ASSERT_TRUE(QFile::link(target, file));
            } else if (c.shape == Shape::OtherUser) {
                ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
            }
        }
        // As main() layers it, with a keyring that holds no copy.
        HookServer keyed { platform::KeychainStore(std::make_shared<platform::LayeredSecretStore>(
            std::make_shared<platform::FileSecretStore>(directory), secrets)) };
        QStringList lines;
        keyed.onLog = [&](const QString& line, common::LogColor) { lines << line; };
        keyed.start(0);
        ASSERT_TRUE(keyed.isRunning());

        const bool open = c.accepted && c.accepted->isEmpty();
        EXPECT_EQ(keyed.authEnforced(), !open);
        EXPECT_EQ(postHook(keyed.port(), QStringLiteral("/hook/Stop"), "{}"), open ? okReply : unauthorized);
        EXPECT_EQ(postHook(keyed.port(), QStringLiteral("/hook/Stop"), "{}", "Authorization: Bearer s3cret\r\n"),
            c.accepted ? okReply : unauthorized);
        QStringList named = lines.filter(file);
        if (c.why.isEmpty()) {
            EXPECT_TRUE(named.isEmpty()) << named.join('\n').toStdString();
        } else {
            // Said once; a file open to others that holds what no hook can send has two things said of it.
            EXPECT_EQ(named.filter(c.why).size(), 1) << lines.join('\n').toStdString();
            EXPECT_EQ(named.removeDuplicates(), 0) << lines.join('\n').toStdString();
        }
        if (c.shape == Shape::Regular) {
            EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
            QFile kept(file);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), c.content) << "the file is left as it was";
        }
    }
}

// With no hook secret stored, another user's process is refused whatever it posts, with one line in the log, and
// nothing it sends is handed on; the user's own processes are heard, as is one whose owner the system does not tell,
// and with a secret the bearer alone decides.
TEST_F(HookServerTest, WithoutASecretOnlyTheUsersOwnProcessesAreHeard)
{
    if (const QString why = test::whyNoOtherUser(); !why.isEmpty()) {
        if (qEnvironmentVariableIsSet("MURMELI_CI")) {
            FAIL() << "under CI the tests run as root: " << why.toStdString();
        }
        GTEST_SKIP() << why.toStdString();
    }
    const QByteArray forbidden = expectedReply(403, "Forbidden", "Forbidden");
    const QByteArray unauthorized = expectedReply(401, "Unauthorized", R"({"error":"unauthorized"})");
    const auto untold = [](qintptr) { return std::optional<uint>(); };
    const struct {
        const char* what;
        bool otherUser;
        std::function<std::optional<uint>(qintptr)> peerUid;
        std::optional<QString> secret;
        QByteArray headers;
        QByteArray reply;
    } cases[] = {
        { "another user", true, &platform::loopbackPeerUid, std::nullopt, {}, forbidden },
        { "another user with a bearer", true, &platform::loopbackPeerUid, std::nullopt,
            "Authorization: Bearer x\r\n", forbidden },
        { "the user", false, &platform::loopbackPeerUid, std::nullopt, {}, okReply },
        { "another user the system does not name", true, untold, std::nullopt, {}, okReply },
        { "another user with the secret", true, &platform::loopbackPeerUid, QStringLiteral("s3cret"),
            "Authorization: Bearer s3cret\r\n", okReply },
        { "another user without the secret", true, &platform::loopbackPeerUid, QStringLiteral("s3cret"), {},
            unauthorized },
    };
    const QStringList posted { QStringLiteral("Stop"), QStringLiteral("SessionEnd"), QStringLiteral("PermissionRequest") };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clock = std::make_shared<test::FakeClock>();
        logs.clear();
        events.clear();
        startServer({ .peerUid = c.peerUid }, c.secret);
        for (const QString& event : posted) {
            const QByteArray request = "POST /hook/" + event.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + c.headers
                + "Content-Length: 20\r\n\r\n{\"session_id\":\"abc\"}";
            EXPECT_EQ(c.otherUser ? test::exchangeAsOtherUser(port, request) : exchangeBlocking(port, request), c.reply);
        }
        const bool heard = c.reply == okReply;
        EXPECT_TRUE(waitUntil([&] { return events.size() == (heard ? posted.size() : 0); }));
        EXPECT_EQ(events, heard ? posted : QStringList());
        const auto refusalLines = [&] { return logs.filter(QStringLiteral("another user's processes (user id 65534)")); };
        EXPECT_TRUE(waitUntil([&] { return refusalLines().size() == (c.reply == forbidden ? 1 : 0); })) << logs.join('\n').toStdString();
    }
}

TEST_F(HookServerTest, ClientThatNeverFinishesIsClosedWithoutDelivery)
{
    startServer({ .requestDeadlineMs = 300 });
    HttpClient slow(port);
    slow.write("POST /hook/Stop HTTP/1.1\r\nContent-Length: 50\r\n\r\n{\"session");
    HttpClient silent(port);
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 2; }));
    EXPECT_EQ(slow.readUntilClosed(3000), QByteArray());
    EXPECT_EQ(silent.readUntilClosed(3000), QByteArray());
    EXPECT_TRUE(slow.closedByServer());
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0; }));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(server->totalEventCount(), 0);
}

TEST_F(HookServerTest, EventAgeAndDeadlinesFollowTheInjectedClock)
{
    auto clock = std::make_shared<test::FakeClock>();
    HookServer timed { platform::KeychainStore(secrets), { .requestDeadlineMs = 300 }, clock };
    timed.start(0, std::nullopt, true);
    EXPECT_EQ(timed.lastEventAgeSec(), -1);
    EXPECT_EQ(postHook(timed.port(), QStringLiteral("/hook/Stop"), "{}"), okReply);
    ASSERT_TRUE(waitUntil([&] { return timed.totalEventCount() == 1; }));
    EXPECT_EQ(timed.lastEventAgeSec(), 0);
    clock->advance(2999);
    EXPECT_EQ(timed.lastEventAgeSec(), 2);

    // A slow client outlives the deadline in real time and is dropped once the clock passes it.
    HttpClient slow(timed.port());
    ASSERT_TRUE(waitUntil([&] { return timed.activeConnectionCount() == 1; }));
    EXPECT_FALSE(waitUntil([&] { return timed.activeConnectionCount() == 0; }, 500));
    clock->advance(300);
    EXPECT_TRUE(waitUntil([&] { return timed.activeConnectionCount() == 0; }));
}

TEST_F(HookServerTest, RequestCutOffByThePeerIsNotDelivered)
{
    HttpClient cut(port);
    cut.write("POST /hook/Cut HTTP/1.1\r\nContent-Length: 50\r\n\r\n{\"session");
    cut.finishSending();
    // A whole request whose client then stops sending is still handled.
    HttpClient whole(port);
    whole.write("POST /hook/Whole HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
    whole.finishSending();
    EXPECT_EQ(whole.readUntilClosed(), okReply);
    EXPECT_EQ(cut.readUntilClosed(), QByteArray());
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0 && !events.isEmpty(); }));
    EXPECT_EQ(events, QStringList { QStringLiteral("Whole") });
}

TEST_F(HookServerTest, FramingIsExactAndEveryErrorReplyArrives)
{
    // Sent whole before the reply is read: closing on the unread rest would reset the connection and lose the reply.
    const QByteArray oversize(600 * 1024, 'x');
    EXPECT_EQ(exchangeBlocking(port,
                  "POST /hook/Big HTTP/1.1\r\nContent-Length: " + QByteArray::number(oversize.size()) + "\r\n\r\n"
                      + oversize),
        expectedReply(413, "Payload Too Large", "Payload too large"));

    // Judged as soon as the declared body is here, long before the request deadline.
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nContent-Length: 2", "\xff\xfe"), badRequestReply);
    EXPECT_EQ(raw("POST /hook/\xc0\xaf HTTP/1.1\r\nContent-Length: 2", "{}"), badRequestReply);
    HttpClient bareLineFeeds(port);
    bareLineFeeds.write("POST /hook/Stop HTTP/1.1\nContent-Length: 2\n");
    EXPECT_EQ(bareLineFeeds.readUntilClosed(), badRequestReply);

    // One request per connection: pipelined bytes are neither body nor a second event.
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nContent-Length: 7",
                  R"({"a":1}POST /hook/Next HTTP/1.1)"
                  "\r\n\r\n"),
        okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_FALSE(waitUntil([&] { return events.size() > 1; }, 200));
    EXPECT_EQ(events, QStringList { QStringLiteral("Stop") });
    EXPECT_EQ(payloads.first().value(QStringLiteral("a")).toInt(), 1);
}

// A head that a proxy or another server could read as other headers or another body than ours is refused whole, and
// none of it is handed on: only a length said twice alike is taken.
TEST_F(HookServerTest, HeadsThatReadTwoWaysAreRefused)
{
    const struct {
        const char* what;
        QByteArray headers;
        QByteArray reply;
    } cases[] = {
        { "two lengths that differ", "Content-Length: 2\r\nContent-Length: 12", badRequestReply },
        { "chunked beside a length", "Transfer-Encoding: chunked\r\nContent-Length: 2", badRequestReply },
        { "a length beside chunked", "Content-Length: 2\r\nTransfer-Encoding: chunked", badRequestReply },
        { "a folded line", "Content-Length: 2\r\nX-Murmeli-Adapter: codex\r\n\tclaude", badRequestReply },
        { "a line without a colon", "Content-Length: 2\r\nAuthorization Bearer x", badRequestReply },
        { "a space before the colon", "Content-Length : 12\r\nContent-Length: 2", badRequestReply },
        { "one length said twice", "Content-Length: 2\r\ncontent-length:  2", okReply },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\n" + c.headers, "{}"), c.reply) << c.what;
    }
    // Handed on in the order they came: a refused one would be here before the last.
    ASSERT_TRUE(waitUntil([&] { return !events.isEmpty(); }));
    EXPECT_EQ(events, QStringList { QStringLiteral("Stop") });
}

TEST_F(HookServerTest, BrowserRequestsAreRefusedCountedAndLoggedOncePerMinute)
{
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    startServer({}, QStringLiteral("s3cret"));
    const QByteArray forbidden = expectedReply(403, "Forbidden", "Forbidden");
    const auto refusalLines = [&] { return logs.filter(QStringLiteral("HookServer: refused")).size(); };
    // A page's simple cross-site POST, and one that reached us through a name of its own.
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                      + "\r\nContent-Type: text/plain\r\nOrigin: http://evil.example\r\nContent-Length: 2",
                  "{}"),
        forbidden);
    EXPECT_EQ(raw("POST /hook/Stop HTTP/1.1\r\nHost: evil.example:" + QByteArray::number(port)
                      + "\r\nAuthorization: Bearer s3cret\r\nContent-Length: 2",
                  "{}"),
        forbidden);
    EXPECT_EQ(server->originRejectCount(), 2);
    EXPECT_EQ(server->bearerRejectCount(), 0);
    ASSERT_TRUE(waitUntil([&] { return refusalLines() == 1; }));
    EXPECT_FALSE(waitUntil([&] { return refusalLines() > 1; }, 300));

    fake->advance(60000);
    ASSERT_TRUE(waitUntil([&] { return refusalLines() == 2; }));
    EXPECT_TRUE(logs.last().contains(QStringLiteral("refused 1 request"))) << logs.last().toStdString();
    EXPECT_TRUE(events.isEmpty());
}

// A hook whose secret murmeli does not hold is refused on every event until the user acts: the log names the agent
// the request says it comes from and what to do, at most once a minute however often the hook posts.
TEST_F(HookServerTest, RefusedBearerIsLoggedAtMostOnceAMinuteNamingItsAdapter)
{
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    // Sweeps every 100 ms, so a line that is due comes at once.
    startServer({ .requestDeadlineMs = 400 }, QStringLiteral("s3cret"));
    const auto refusals = [&] { return logs.filter(QStringLiteral("HookServer: refused")); };
    const struct {
        QByteArray header;
        QString named;
    } cases[] = {
        { "x-murmeli-adapter: codex\r\n", QStringLiteral("from codex:") },
        { "", QStringLiteral("from an agent that names no adapter:") },
        { "x-murmeli-adapter: co\x1b[2Jdex\r\n", QStringLiteral("from an adapter with an unreadable name:") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header.toStdString());
        const qsizetype before = refusals().size();
        for (int i = 0; i < 3; ++i) {
            postHook(port, QStringLiteral("/hook/Stop"), "{}", c.header + "Authorization: Bearer stale\r\n");
        }
        ASSERT_TRUE(waitUntil([&] { return refusals().size() == before + 1; })) << logs.join('\n').toStdString();
        EXPECT_TRUE(refusals().last().startsWith(QStringLiteral("HookServer: refused 1 event(s) ") + c.named));
        EXPECT_FALSE(waitUntil([&] { return refusals().size() > before + 1; }, 400));

        fake->advance(60000);
        ASSERT_TRUE(waitUntil([&] { return refusals().size() == before + 2; }));
        EXPECT_TRUE(refusals().last().startsWith(QStringLiteral("HookServer: refused 2 event(s) ") + c.named))
            << refusals().last().toStdString();
        EXPECT_TRUE(refusals().last().contains(QStringLiteral("Install that agent's hooks again")));
        // The next case's first refusal starts a minute of its own.
        fake->advance(60000);
    }
    EXPECT_EQ(server->bearerRejectCount(), 9);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(HookServerTest, IdleFloodIsCappedAndAGoodRequestIsServed)
{
    platform::raiseOpenFileLimit();
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    startServer({});
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(test::connectLoopback(port));
    }
    ASSERT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 1000; }, 10000));
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}"), okReply);

    // Past the cap of 1024 open connections, each new one makes room: the oldest that has sent nothing is answered
    // at once and closed.
    std::vector<int> late;
    for (int i = 0; i < 124; ++i) {
        late.push_back(test::connectLoopback(port));
    }
    ASSERT_TRUE(waitUntil([&] { return answered(idle) == 100; }, 10000));
    EXPECT_EQ(server->activeConnectionCount(), 1024);
    EXPECT_EQ(answered(late), 0);
    char reply[64] = {};
    EXPECT_GT(::recv(idle.front(), reply, sizeof reply - 1, 0), 0);
    EXPECT_EQ(QByteArray(reply).left(12), "HTTP/1.1 503");

    // Within the cap, idle connections last until their head is overdue.
    fake->advance(hooks::HookServerOptions {}.headDeadlineMs);
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0; }));
    EXPECT_EQ(answered(idle), 1000);
    EXPECT_EQ(answered(late), 124);
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}"), okReply);
    for (const int fd : idle) {
        ::close(fd);
    }
    for (const int fd : late) {
        ::close(fd);
    }
}

// Another local user without the secret keeps more connections open than there are slots, each holding a head it
// never finishes: the agents' permission requests still get in and are held for the panel, and so does a hook that
// connected and looks at who listens before it sends a byte; the flood's own connections go, the oldest first to make
// room and every one once its head is overdue.
TEST_F(HookServerTest, AFloodWithoutTheSecretNeverKeepsPermissionRequestsOut)
{
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    startServer({ .maxConnections = 100, .peerUid = &uidByAddress }, QStringLiteral("s3cret"), true);
    asyncBody = QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"allow"}}})");
    const auto flood = [&](int count) { return connectAsAnother(port, count, unfinishedHead); };
    const auto request = &permissionRequest;

    std::vector<int> first = flood(120);
    ASSERT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 100 && answered(first) == 20; }));
    // A hook still looking at who listens, one whose secret checked out while its body is on the way, and three
    // whole requests.
    HttpClient looking(port);
    HttpClient slow(port);
    slow.write(request("{\"n\""));
    std::vector<std::unique_ptr<HttpClient>> agents;
    for (int i = 0; i < 3; ++i) {
        agents.push_back(std::make_unique<HttpClient>(port));
        agents.back()->write(request("{\"n\":\"abcd\"}"));
    }
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 3; })) << asyncCalls.size() << " of 3 held";

    // A second wave makes room by closing only the flood's connections: the 95 of the first left, then 15 of its own.
    std::vector<int> second = flood(110);
    EXPECT_TRUE(waitUntil([&] { return answered(first) == 120 && answered(second) == 15; }));
    EXPECT_EQ(server->activeConnectionCount(), 100);
    EXPECT_FALSE(looking.closedByServer());
    EXPECT_FALSE(slow.closedByServer());
    EXPECT_EQ(closedCount, 0);
    looking.write(request("{\"n\":\"efgh\"}"));
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 4; }));
    // Heads overdue: the flood is gone, the held requests and the one still sending its body stay.
    fake->advance(hooks::HookServerOptions {}.headDeadlineMs);
    EXPECT_TRUE(waitUntil([&] { return answered(second) == 110; }));
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 5; }));
    slow.write(":\"abcd\"}");
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 5; }));

    releaser.setObjectName(QStringLiteral("decide"));
    for (HttpClient* client : { agents[0].get(), agents[1].get(), agents[2].get(), &looking, &slow }) {
        EXPECT_EQ(client->readUntilClosed(), expectedReply(200, "OK", asyncBody->toUtf8()));
    }
    EXPECT_EQ(closedCount, 0);
    for (const int fd : first) {
        ::close(fd);
    }
    for (const int fd : second) {
        ::close(fd);
    }
}

// However many are closed to make room, and however fast they come, the log counts every one of them.
TEST_F(HookServerTest, EveryConnectionClosedToMakeRoomIsCounted)
{
    // Heads never overdue: a slow machine's connections are closed to make room, not for their time.
    clock = std::make_shared<test::FakeClock>();
    startServer({ .maxConnections = 10 });
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(test::connectLoopback(port));
    }
    static const QRegularExpression roomMade(QStringLiteral("closed (\\d+) connection\\(s\\) that had shown no hook"));
    const auto counted = [&] {
        int sum = 0;
        for (const QString& line : logs) {
            sum += roomMade.match(line).captured(1).toInt();
        }
        return sum;
    };
    EXPECT_TRUE(waitUntil([&] { return counted() == 30; }, 10000)) << counted() << " of 30 counted";
    for (const int fd : idle) {
        ::close(fd);
    }
}

// Where the system does not tell whose a connection is, a hook of the user's that looks at who listens before it
// sends a byte may be any of them: a flood of others it cannot tell apart is refused rather than let close it, and the
// log says why.
TEST_F(HookServerTest, WhereNoOwnerIsToldAFloodClosesNoHook)
{
    clock = std::make_shared<test::FakeClock>();
    startServer({ .maxConnections = 10, .peerUid = [](qintptr) { return std::optional<uint>(); } },
        QStringLiteral("s3cret"), true);
    HttpClient looking(port);
    ASSERT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 1; }));
    const std::vector<int> flood = connectAsAnother(port, 30, unfinishedHead);
    EXPECT_TRUE(waitUntil([&] { return answered(flood) == 21; })) << answered(flood) << " of 21 refused";
    EXPECT_FALSE(looking.closedByServer());
    EXPECT_TRUE(waitUntil([&] { return !logs.filter(QStringLiteral("did not tell whose")).isEmpty(); }));
    looking.write(permissionRequest("{\"n\":\"abcd\"}"));
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 1; }));
    releaser.setObjectName(QStringLiteral("decide"));
    EXPECT_EQ(looking.readUntilClosed(), okReply);
    for (const int fd : flood) {
        ::close(fd);
    }
}

// As murmeli ends, the listener shut, another user's unfinished heads are answered busy and closed at once rather
// than awaited until they are overdue; the user's own request on its way in is still served.
TEST_F(HookServerTest, StoppingClosesAnotherUsersUnfinishedHeadsAtOnce)
{
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    startServer({ .peerUid = &uidByAddress }, QStringLiteral("s3cret"), true);
    const std::vector<int> others = connectAsAnother(port, 5, unfinishedHead);
    HttpClient own(port);
    const QByteArray request = permissionRequest("{\"n\":\"abcd\"}");
    own.write(request.left(40));
    ASSERT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 6; }));
    server->stop();
    EXPECT_TRUE(waitUntil([&] { return answered(others) == 5; })) << answered(others) << " of 5 closed";
    EXPECT_EQ(server->activeConnectionCount(), 1);
    own.write(request.mid(40));
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 1; }));
    releaser.setObjectName(QStringLiteral("decide"));
    EXPECT_EQ(own.readUntilClosed(), okReply);
    for (const int fd : others) {
        ::close(fd);
    }
}

TEST_F(HookServerTest, BufferedBytesAreCapped)
{
    startServer({ .maxBufferedBytes = 400 * 1024 });
    const QByteArray head = "POST /hook/Big HTTP/1.1\r\nContent-Length: 250000\r\n\r\n";
    const QByteArray part(200 * 1024, ' ');
    HttpClient a(port);
    HttpClient b(port);
    ASSERT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 2; }));
    a.write(head + part);
    b.write(head + part);
    // Both unfinished requests do not fit: one of them is declined, the other waits for the rest of its body.
    ASSERT_TRUE(waitUntil([&] { return a.closedByServer() || b.closedByServer(); }));
    HttpClient& declined = a.closedByServer() ? a : b;
    HttpClient& waiting = a.closedByServer() ? b : a;
    EXPECT_EQ(declined.readUntilClosed(), busyReply);
    // While one more whole request would not fit, new connections are refused at once.
    HttpClient refused(port);
    EXPECT_EQ(refused.readUntilClosed(), busyReply);

    waiting.write(QByteArray(250000 - part.size(), ' '));
    EXPECT_EQ(waiting.readUntilClosed(), okReply);
    EXPECT_EQ(postHook(port, QStringLiteral("/hook/Stop"), "{}"), okReply);
    EXPECT_TRUE(waitUntil([&] { return events.size() == 2; }));
}

TEST_F(HookServerTest, EventsWaitWhileTheMainThreadIsBusyAndAreRefusedOnlyPastTheDeadline)
{
    auto fake = std::make_shared<test::FakeClock>();
    clock = fake;
    startServer({ .maxOutboxBytes = 512 });
    const auto request = [](int n) {
        const QByteArray body = "{\"n\":" + QByteArray::number(n) + ",\"pad\":\"" + QByteArray(600, 'x') + "\"}";
        return "POST /hook/Stop HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    const auto post = [&](int n) { return sendBlocking(port, request(n)); };
    const auto anyAnswered = [](const std::vector<int>& fds) { return std::any_of(fds.begin(), fds.end(), readable); };

    // The main thread takes nothing meanwhile, so the first event fills the hand-over and the next ones wait.
    EXPECT_EQ(exchangeBlocking(port, request(1)), okReply);
    std::vector<int> waiting { post(2), post(3), post(4) };
    EXPECT_FALSE(waitUntilNoLoop([&] { return anyAnswered(waiting); }, 300));
    EXPECT_EQ(server->totalEventCount(), 1);
    // Once it takes them, every event is handled, in the order it came, and acknowledged.
    ASSERT_TRUE(waitUntil([&] { return events.size() == 4; }));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(payloads[i].value(QStringLiteral("n")).toInt(), i + 1);
    }
    for (const int fd : waiting) {
        EXPECT_EQ(replyOf(fd), okReply);
    }

    // A main thread that stays away past the request deadline: the waiting events are declined, never acknowledged,
    // and the log counts every one of them.
    EXPECT_EQ(exchangeBlocking(port, request(5)), okReply);
    waiting = { post(6), post(7), post(8) };
    ASSERT_TRUE(waitUntilNoLoop([&] { return server->activeConnectionCount() == 3; }, 5000));
    EXPECT_FALSE(waitUntilNoLoop([&] { return anyAnswered(waiting); }, 300));
    fake->advance(10000);
    for (const int fd : waiting) {
        EXPECT_EQ(replyOf(fd), busyReply);
    }
    const auto refusedCount = [&] {
        int total = 0;
        for (const QString& line : logs.filter(QStringLiteral("answered 503 and not handled"))) {
            total += line.section(QLatin1Char(','), 1).trimmed().section(QLatin1Char(' '), 0, 0).toInt();
        }
        return total;
    };
    EXPECT_TRUE(waitUntil([&] { return refusedCount() == 3; }));
    EXPECT_EQ(events.size(), 5);
    EXPECT_EQ(server->totalEventCount(), 5);

    EXPECT_EQ(exchangeBlocking(port, request(9)), okReply);
    EXPECT_TRUE(waitUntil([&] { return events.size() == 6; }));
}

// murmeli ends on the spot (its X server went away) and its main thread takes nothing more: the server itself answers
// every permission request it holds, those still waiting for room in the hand-over as well as the one handed over, and
// those that come afterwards, each while the others wait, so no agent's hook is left without a reply.
TEST_F(HookServerTest, AnsweringAtOnceReachesEveryHeldRequestWhereverItWaits)
{
    // Nothing is refused on a deadline meanwhile: the clock stands.
    clock = std::make_shared<test::FakeClock>();
    startServer({ .maxOutboxBytes = 512 }, std::nullopt, true);
    const auto request = [](int n) {
        const QByteArray body = "{\"n\":" + QByteArray::number(n) + ",\"pad\":\"" + QByteArray(600, 'x') + "\"}";
        return "POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body;
    };
    // The first fills the hand-over, the next ones wait for room the main thread never makes.
    std::vector<int> asked { sendBlocking(port, request(1)) };
    ASSERT_TRUE(waitUntilNoLoop([&] { return server->totalEventCount() == 1; }, 5000));
    asked.push_back(sendBlocking(port, request(2)));
    asked.push_back(sendBlocking(port, request(3)));
    ASSERT_TRUE(waitUntilNoLoop([&] { return server->waitingEventCount() == 2; }, 5000));

    server->answerHeldAtOnce("{}");
    asked.push_back(sendBlocking(port, request(4)));
    ASSERT_TRUE(waitUntilNoLoop([&] { return answered(asked) == int(asked.size()); }, 5000))
        << answered(asked) << " of " << asked.size() << " answered";
    for (const int fd : asked) {
        EXPECT_EQ(replyOf(fd), expectedReply(200, "OK", "{}"));
    }
}

TEST_F(HookServerTest, HeldRequestWaitsForTheAsynchronousReply)
{
    startServer({}, std::nullopt, true);
    asyncBody = QStringLiteral(R"({"hookSpecificOutput":{"decision":{"behavior":"allow"}}})");
    HttpClient held(port);
    held.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 1; }));
    EXPECT_EQ(events, QStringList { QStringLiteral("PermissionRequest") });
    EXPECT_FALSE(held.closedByServer());
    EXPECT_EQ(server->activeConnectionCount(), 1);

    releaser.setObjectName(QStringLiteral("decide"));
    EXPECT_EQ(held.readUntilClosed(), expectedReply(200, "OK", asyncBody->toUtf8()));

    // No body from the handler means the neutral reply.
    asyncBody.reset();
    HttpClient neutral(port);
    neutral.write("POST /hook/Stop HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
    ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 2; }));
    releaser.setObjectName(QStringLiteral("again"));
    EXPECT_EQ(neutral.readUntilClosed(), okReply);
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0; }));
}

TEST_F(HookServerTest, ClientLeavingAHeldRequestIsReported)
{
    startServer({}, std::nullopt, true);
    {
        HttpClient leaving(port);
        leaving.write("POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}");
        ASSERT_TRUE(waitUntil([&] { return asyncCalls.size() == 1; }));
        EXPECT_FALSE(heldRequests.first()->isClosed());
    }
    ASSERT_TRUE(waitUntil([&] { return closedCount == 1; }));
    EXPECT_TRUE(heldRequests.first()->isClosed());
    EXPECT_TRUE(waitUntil([&] { return server->activeConnectionCount() == 0; }));

    // The late answer finds nobody to send to and changes nothing.
    releaser.setObjectName(QStringLiteral("late"));
    QCoreApplication::processEvents();
    EXPECT_EQ(closedCount, 1);
    EXPECT_EQ(server->activeConnectionCount(), 0);
}

TEST_F(HookServerTest, PortInUseIsReportedAndNotRunning)
{
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::LocalHost, 0));
    HookServer second { platform::KeychainStore(secrets) };
    QStringList lines;
    QList<common::LogColor> colors;
    second.onLog = [&](const QString& line, common::LogColor color) {
        lines << line;
        colors << color;
    };
    second.start(blocker.serverPort(), std::nullopt, true);
    EXPECT_FALSE(second.isRunning());
    ASSERT_TRUE(waitUntil([&] { return !lines.isEmpty(); }));
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("HookServer: failed — "))) << lines.first().toStdString();
    EXPECT_EQ(colors.first(), common::LogColor::Red);
    EXPECT_EQ(second.listenerStateDescription(), QStringLiteral("failed"));
}

TEST_F(HookServerTest, CurlGetsTheExactReply)
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        GTEST_SKIP() << "curl is not installed";
    }
    QProcess process;
    process.start(curl,
        { QStringLiteral("-si"), QStringLiteral("-X"), QStringLiteral("POST"), QStringLiteral("-d"),
            QStringLiteral(R"({"session_id":"abc"})"), QStringLiteral("http://127.0.0.1:%1/hook/Stop").arg(port) });
    ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(process.readAllStandardOutput(), okReply);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(payloads.first().value(QStringLiteral("session_id")).toString(), QStringLiteral("abc"));
}
