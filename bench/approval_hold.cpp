// Holds many permission requests open at once, then decides them one by one, and reports what a held request
// costs in memory and how long a decision takes to reach the waiting client.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

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
using Clock = std::chrono::steady_clock;

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

void spin(const std::function<bool()>& done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 500;
    platform::raiseOpenFileLimit();

    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    controller.startBackend(QString());
    const quint16 port = test::ControllerProbe::hookServer(controller).port();
    auto& table = test::ControllerProbe::pendingTable(controller);

    // Warm up allocator and code paths with one request so the baseline is not the first touch.
    {
        const int fd = test::connectLoopback(port);
        const QByteArray body = R"({"session_id":"warmup00","tool_name":"Bash","tool_use_id":"warm","tool_input":{}})";
        const QByteArray request = "POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        ::write(fd, request.constData(), request.size());
        spin([&] { return table.hasActive(); });
        table.resolve(QStringLiteral("warm"), hooks::ApprovalDecision::allow(hooks::PermissionScope::Once));
        char buffer[512];
        pollfd p { fd, POLLIN, 0 };
        ::poll(&p, 1, 5000);
        (void)::read(fd, buffer, sizeof buffer);
        ::close(fd);
    }
    spin([&] { return test::ControllerProbe::hookServer(controller).activeConnectionCount() == 0; });
    const qint64 before = residentKiB();

    std::vector<int> clients;
    for (int i = 0; i < count; ++i) {
        const int fd = test::connectLoopback(port);
        if (fd < 0) {
            std::fprintf(stderr, "connect %d failed\n", i);
            return 1;
        }
        const QJsonObject payload { { QStringLiteral("session_id"),
                                        QStringLiteral("bench%1").arg(i % 50, 3, 10, QLatin1Char('0')) },
            { QStringLiteral("tool_name"), QStringLiteral("Bash") },
            { QStringLiteral("tool_use_id"), QStringLiteral("b-%1").arg(i) },
            { QStringLiteral("tool_input"),
                QJsonObject { { QStringLiteral("command"), QStringLiteral("make test-%1").arg(i) } } } };
        const QByteArray body = QJsonDocument(payload).toJson(QJsonDocument::Compact);
        const QByteArray request = "POST /hook/PermissionRequest HTTP/1.1\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        ::write(fd, request.constData(), request.size());
        clients.push_back(fd);
    }
    spin([&] { return table.pendingCountTotal() == count; });
    const qint64 held = residentKiB();

    std::vector<double> latencies;
    latencies.reserve(count);
    char buffer[1024];
    for (int i = 0; i < count; ++i) {
        const QString id = table.activeRequest()->toolUseId;
        const int index = id.mid(2).toInt();
        const auto decided = Clock::now();
        table.resolve(id, hooks::ApprovalDecision::allow(hooks::PermissionScope::Once));
        // The reply is written by the server thread; the client sees it without this thread's help.
        pollfd p { clients[index], POLLIN, 0 };
        if (::poll(&p, 1, 5000) != 1) {
            std::fprintf(stderr, "no reply for %s\n", qPrintable(id));
            return 1;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - decided).count());
        const ssize_t n = ::read(clients[index], buffer, sizeof buffer);
        if (n <= 0 || !QByteArray(buffer, n).startsWith("HTTP/1.1 200 OK")) {
            std::fprintf(stderr, "bad reply for %s\n", qPrintable(id));
            return 1;
        }
    }
    for (const int fd : clients) {
        ::close(fd);
    }
    // The server gives memory back once the burst has passed; its sweep looks about once a second.
    spin([&] { return test::ControllerProbe::hookServer(controller).activeConnectionCount() == 0; });
    const auto settleUntil = Clock::now() + std::chrono::seconds(3);
    spin([&] { return Clock::now() >= settleUntil; });
    const qint64 settled = residentKiB();
    std::printf("held requests: %d\n", count);
    std::printf("resident memory: %lld KiB before, %lld KiB while all were held: %.1f KiB per held request\n",
        static_cast<long long>(before), static_cast<long long>(held), double(held - before) / count);
    std::printf("resident memory 3 s after all were answered: %lld KiB\n", static_cast<long long>(settled));
    std::printf("decision to reply at the client: p50 %.0f us, p90 %.0f us, p99 %.0f us, max %.0f us\n",
        percentile(latencies, 0.5), percentile(latencies, 0.9), percentile(latencies, 0.99),
        *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
