// Keeps the session registry current while a separate process rewrites the status files of many sessions,
// and reports the CPU this process spends on it and the delay from a file change to the registry's update.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include "main/app/AppController.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"

using namespace murmeli;

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The writer: every session's status file is replaced atomically twice a second, spread evenly; the probe
// session's file carries the monotonic time at which it was written.
const char* writerScript = R"PY(
import os, sys, time, json
d, n, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
body = json.dumps({"session_id": "x", "model": {"display_name": "m"}, "context_window": {"used_percentage": 12}})
end = time.monotonic() + seconds
i = 0
while time.monotonic() < end:
    key = "probe000" if i % n == 0 else "s%07d" % (i % n)
    content = str(time.monotonic_ns()) if key == "probe000" else body
    tmp = os.path.join(d, "." + key + ".tmp")
    with open(tmp, "w") as f:
        f.write(content)
    os.rename(tmp, os.path.join(d, key + "-status.json"))
    i += 1
    time.sleep(1.0 / (2 * n))
)PY";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20;

    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    const QString probe = root.path() + QStringLiteral("/murmeli/probe000-status.json");

    std::vector<double> delaysMs;
    QByteArray lastProbe;
    int refreshes = 0;
    const auto refresh = [&] {
        test::ControllerProbe::sessionRegistry(controller).refresh();
        ++refreshes;
        QFile file(probe);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray written = file.readAll().trimmed();
            if (!written.isEmpty() && written != lastProbe) {
                lastProbe = written;
                delaysMs.push_back((monotonicNs() - written.toLongLong()) / 1e6);
            }
        }
    };
    controller.sessions().onStatusChange = refresh;
    controller.startBackend(QString());

    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(QStringLiteral("python3"),
        { QStringLiteral("-c"), QString::fromLatin1(writerScript), root.path() + QStringLiteral("/murmeli"),
            QString::number(sessions), QString::number(seconds) });
    if (!writer.waitForStarted()) {
        std::fprintf(stderr, "python3 is needed for the writer\n");
        return 1;
    }
    // The first seconds fill the directory; measure once every session exists.
    QTimer::singleShot(3000, [&] {
        const double cpuStart = cpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        delaysMs.clear();
        refreshes = 0;
        QObject::connect(&writer, &QProcess::finished, [&, cpuStart, wallStart] {
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
            const double cpu = cpuSeconds() - cpuStart;
            std::sort(delaysMs.begin(), delaysMs.end());
            const auto at = [&](double p) { return delaysMs[static_cast<std::size_t>(p * (delaysMs.size() - 1))]; };
            std::printf("sessions: %d, each rewritten twice a second; %zu listed\n", sessions,
                test::ControllerProbe::sessionRegistry(controller).sessions().size());
            std::printf("murmeli CPU: %.2f s over %.1f s = %.1f %% of one core (%d refreshes)\n", cpu, wall,
                100.0 * cpu / wall, refreshes);
            if (!delaysMs.empty()) {
                std::printf("file change to registry update: p50 %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms "
                            "(%zu probes)\n",
                    at(0.5), at(0.9), at(0.99), delaysMs.back(), delaysMs.size());
            }
            QCoreApplication::quit();
        });
    });
    return QCoreApplication::exec();
}
