// What a hook event of a new session costs the main thread when the list is crowded, and whether the new session's
// own Stop still settles its own request after a flood of ids.
//   crowded_list held N   the list full (256 sessions, all busy), N permission requests held for them: the main
//                         thread's CPU and wall time for the Stop of a new session id, from its arrival until its
//                         files are written and the panel has synced (median and worst of 20)
//   crowded_list offlist N  the same with N requests asked by N new sessions the full list has no room for
//   crowded_list burst    1,100 sessions start and end at once; then a new session asks for a tool and stops:
//                         whether it is listed and when its request is answered
// murmeli runs in process on the real clock, with its hook endpoint on a real socket.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include "bench/Measure.h"
#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "platform/system/ResourceLimits.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"
#include "tests/support/LoopbackSocket.h"

using namespace murmeli;
using bench::percentile;
using bench::threadCpuMs;

namespace {

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Rig {
public:
    Rig()
        : m_controller(test::controllerDependencies(
            m_root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()))
    {
        m_controller.onLog = [this](const QString& line, common::LogColor) { m_handled += line.startsWith("Hook: "); };
        m_controller.startBackend(QString());
        // As the application asks for a sync: once per burst of changes.
        m_controller.sessions().onStatusChange = [this] { m_syncAsked = true; };
        // Wakes the waits below now and then, so none sleeps past what it waits for.
        m_heartbeat.start(20);
    }

    hooks::PendingRequestTable& table() { return test::ControllerProbe::pendingTable(m_controller); }
    const hooks::SessionRegistry& registry() { return test::ControllerProbe::sessionRegistry(m_controller); }

    void waitFor(const std::function<bool()>& done)
    {
        while (!done()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    /// Sends the event and returns its connection, open while a request is held.
    int send(const QString& event, QJsonObject body)
    {
        const int fd = test::connectLoopback(test::ControllerProbe::hookServer(m_controller).port());
        if (fd < 0) {
            std::fprintf(stderr, "crowded_list: cannot connect\n");
            std::exit(1);
        }
        body.insert(QStringLiteral("cwd"), QStringLiteral("/home/dev/demo"));
        const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        const QByteArray request = "POST /hook/" + event.toUtf8() + " HTTP/1.1\r\nx-murmeli-adapter: claude-code\r\n"
            + "Content-Length: " + QByteArray::number(bytes.size()) + "\r\n\r\n" + bytes;
        if (::write(fd, request.constData(), request.size()) != request.size()) {
            std::fprintf(stderr, "crowded_list: short write\n");
            std::exit(1);
        }
        return fd;
    }

    /// An event the main thread has taken in, its connection closed.
    void post(const QString& event, const QJsonObject& body)
    {
        const int before = m_handled;
        const int fd = send(event, body);
        waitFor([&] { return m_handled > before; });
        ::close(fd);
    }

    /// The event, then its files and the panel's sync where it asked for them, as the application runs them.
    void postAndSync(const QString& event, const QJsonObject& body)
    {
        m_syncAsked = false;
        post(event, body);
        QCoreApplication::sendPostedEvents();
        if (std::exchange(m_syncAsked, false)) {
            m_controller.sessions().syncSessions();
            waitFor([&] { return !test::ControllerProbe::panelSync(m_controller).isReading(); });
        }
    }

    /// Whether the reply came within timeoutMs.
    static bool answered(int fd, int timeoutMs)
    {
        pollfd ready { fd, POLLIN, 0 };
        return ::poll(&ready, 1, timeoutMs) == 1;
    }

private:
    QTemporaryDir m_root;
    app::AppController m_controller;
    QTimer m_heartbeat;
    int m_handled = 0;
    bool m_syncAsked = false;
};

QJsonObject session(const QString& id)
{
    return { { QStringLiteral("session_id"), id } };
}

QString listedId(int i)
{
    return QStringLiteral("%1-0000-4000-8000-000000000000").arg(i, 8, 16, QLatin1Char('0'));
}

int held(int count, bool offList)
{
    Rig rig;
    const int listed = static_cast<int>(hooks::SessionRegistry::maxSessions);
    for (int i = 0; i < listed; ++i) {
        rig.post(QStringLiteral("SessionStart"), session(listedId(i)));
    }
    std::vector<int> clients;
    for (int i = 0; i < count; ++i) {
        QJsonObject ask
            = session(offList ? QStringLiteral("a5%1-4444-4000-8000-000000000000").arg(i, 6, 10, QLatin1Char('0'))
                              : listedId(i % listed));
        ask.insert(QStringLiteral("tool_name"), QStringLiteral("Bash"));
        ask.insert(QStringLiteral("tool_use_id"), QStringLiteral("held-%1").arg(i));
        ask.insert(QStringLiteral("tool_input"), QJsonObject { { QStringLiteral("command"), QStringLiteral("make") } });
        clients.push_back(rig.send(QStringLiteral("PermissionRequest"), ask));
    }
    // Held, or let go at once where no card could show them.
    rig.waitFor([&] {
        return rig.table().pendingCountTotal() + std::count_if(clients.begin(), clients.end(), [](int fd) {
            return Rig::answered(fd, 0);
        }) == count;
    });

    std::vector<double> cpu;
    std::vector<double> wall;
    for (int i = 0; i < 21; ++i) {
        QJsonObject stop = session(QStringLiteral("new%1-1111-4000-8000-000000000000").arg(i, 5, 10, QLatin1Char('0')));
        stop.insert(QStringLiteral("last_assistant_message"), QStringLiteral("Done."));
        const double cpuBefore = threadCpuMs();
        const double wallBefore = wallMs();
        rig.postAndSync(QStringLiteral("Stop"), stop);
        // The first one warms the paths up.
        if (i > 0) {
            cpu.push_back(threadCpuMs() - cpuBefore);
            wall.push_back(wallMs() - wallBefore);
        }
    }
    std::printf(
        "list of %zu, %d of %d requests%s held: Stop of a new session id: main thread %.2f ms CPU (worst %.2f), "
        "%.2f ms wall (worst %.2f)\n",
        rig.registry().sessions().size(), rig.table().pendingCountTotal(), count, offList ? " of sessions off it" : "",
        percentile(cpu, 0.5), *std::max_element(cpu.begin(), cpu.end()), percentile(wall, 0.5),
        *std::max_element(wall.begin(), wall.end()));
    for (const int fd : clients) {
        ::close(fd);
    }
    return 0;
}

int burst()
{
    Rig rig;
    const double started = wallMs();
    for (int i = 0; i < 1100; ++i) {
        const QString id = QStringLiteral("%1-2222-4000-8000-000000000000").arg(i, 8, 16, QLatin1Char('0'));
        rig.post(QStringLiteral("SessionStart"), session(id));
        rig.post(QStringLiteral("SessionEnd"), session(id));
    }
    std::printf("1100 sessions started and ended in %.1f s\n", (wallMs() - started) / 1000);

    const QString id = QStringLiteral("c0ffee00-3333-4000-8000-000000000000");
    rig.postAndSync(QStringLiteral("SessionStart"), session(id));
    QJsonObject ask = session(id);
    ask.insert(QStringLiteral("tool_name"), QStringLiteral("Bash"));
    ask.insert(QStringLiteral("tool_use_id"), QStringLiteral("newcomer"));
    ask.insert(QStringLiteral("tool_input"), QJsonObject { { QStringLiteral("command"), QStringLiteral("make") } });
    const int request = rig.send(QStringLiteral("PermissionRequest"), ask);
    // Held, or let go at once.
    rig.waitFor([&] { return rig.table().isHeld(QStringLiteral("newcomer")) || Rig::answered(request, 0); });
    const bool listed = rig.registry().contains(*hooks::SessionKey::fromFileKey(QStringLiteral("c0ffee00")));
    if (Rig::answered(request, 0)) {
        std::printf("the new session is %slisted; its request was let go at once\n", listed ? "" : "not ");
        return 0;
    }
    const double stopped = wallMs();
    rig.postAndSync(QStringLiteral("Stop"), session(id));
    rig.waitFor([&] { return Rig::answered(request, 0) || wallMs() - stopped > 30'000; });
    if (Rig::answered(request, 0)) {
        std::printf("the new session is %slisted; its request was answered %.1f s after its Stop\n",
            listed ? "" : "not ", (wallMs() - stopped) / 1000);
    } else {
        std::printf("the new session is %slisted; its request was not answered within 30 s of its Stop\n",
            listed ? "" : "not ");
    }
    ::close(request);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    platform::raiseOpenFileLimit();
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if ((mode == QLatin1String("held") || mode == QLatin1String("offlist")) && argc > 2) {
        return held(std::atoi(argv[2]), mode == QLatin1String("offlist"));
    }
    if (mode == QLatin1String("burst")) {
        return burst();
    }
    std::fprintf(stderr, "usage: crowded_list held N | crowded_list offlist N | crowded_list burst\n");
    return 2;
}
