// Times the controller's periodic sync (registry refresh, every session's status files, the panel's rows and view
// model) over a status directory of live sessions whose files change between syncs. Reports the main-thread CPU per
// sync, counted until the rows hold what the pool thread read, and the wall time until then.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "bench/Measure.h"
#include "main/app/AppController.h"
#include "main/hooks/sessions/SmallFile.h"
#include "platform/secrets/fake/FakeSecretStore.h"
#include "tests/support/ControllerDependencies.h"
#include "tests/support/ControllerProbe.h"

using namespace murmeli;
using bench::threadCpuMs;

namespace {

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A status line as the agent's script writes it, a few hundred bytes.
QByteArray statusBody(int i, int round, const QString& transcript)
{
    const QString cwd = QStringLiteral("/home/dev/projects/project-%1").arg(i);
    return json({ { "session_id", QStringLiteral("s%1-0000-4000-8000-000000000000").arg(i, 7, 10, QLatin1Char('0')) },
        { "model", QJsonObject { { "id", "claude-opus-4" }, { "display_name", "Opus 4" } } },
        { "context_window",
            QJsonObject { { "used_percentage", (i + round) % 100 }, { "context_window_size", 200000 },
                { "current_usage",
                    QJsonObject { { "input_tokens", 1200 + round }, { "output_tokens", 340 },
                        { "cache_read_input_tokens", 56000 } } } } },
        { "cost",
            QJsonObject { { "total_cost_usd", 1.25 + round * 0.01 }, { "total_duration_ms", 600000 + round * 2000 },
                { "total_lines_added", 120 }, { "total_lines_removed", 30 } } },
        { "rate_limits",
            QJsonObject { { "five_hour", QJsonObject { { "used_percentage", 42 } } },
                { "seven_day", QJsonObject { { "used_percentage", 17 } } } } },
        { "workspace", QJsonObject { { "current_dir", cwd }, { "project_dir", cwd } } }, { "version", "2.1.0" },
        { "transcript_path", transcript } });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int sessions = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 300;
    // Of every hundred sessions, how many rewrite their files between two syncs.
    const int changingPercent = argc > 3 ? std::clamp(std::atoi(argv[3]), 0, 100) : 100;

    QTemporaryDir root;
    app::AppController controller(test::controllerDependencies(
        root, std::make_shared<platform::FakeSecretStore>(), std::make_shared<common::SystemClock>()));
    const QString directory = root.path() + QStringLiteral("/murmeli");
    if (!hooks::StatusDirectory(directory).openOrCreate()) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return 1;
    }
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        hooks::SmallFile::writeAtomically(directory + QLatin1Char('/') + name, bytes);
    };

    // One transcript, as long as a working session's, for the session that ends up selected.
    const QString transcript = root.path() + QStringLiteral("/transcript.jsonl");
    {
        QFile file(transcript);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        for (int i = 0; i < 2000; ++i) {
            file.write(
                json({ { "type", "assistant" },
                    { "message",
                        QJsonObject { { "content",
                            QJsonArray { QJsonObject { { "type", "tool_use" }, { "id", QStringLiteral("tu-%1").arg(i) },
                                { "name", "Bash" }, { "input", QJsonObject { { "command", "make test" } } } } } } } } })
                + '\n');
        }
    }

    // Every round rewrites the status and activity files of the changing sessions, as working sessions do; a
    // tenth wait for a permission, a twentieth report a failure.
    const auto rewrite = [&](int round) {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (int i = 0; i < sessions; ++i) {
            if (round > 0 && i % 100 >= changingPercent) {
                continue;
            }
            const QString key = QStringLiteral("s%1").arg(i, 7, 10, QLatin1Char('0'));
            write(key + QStringLiteral("-status.json"), statusBody(i, round, transcript));
            write(key + QStringLiteral("-activity.json"),
                json({ { "activity", QStringLiteral("Running make test %1").arg(round) }, { "tool", "Bash" },
                    { "ts", now }, { "session", key }, { "project", QStringLiteral("project-%1").arg(i) } }));
            if (round == 0 && i % 10 == 0) {
                write(key + QStringLiteral("-notify.json"),
                    json({ { "type", i % 20 == 0 ? "error" : "permission" }, { "ts", now }, { "session", key },
                        { "project", QStringLiteral("project-%1").arg(i) }, { "message", "needs you" } }));
            }
        }
    };

    // The sync itself, then the rows rebuilt once the pool thread has read the other sessions; the wait in between
    // sleeps, so the main thread's CPU time is what the sync costs it.
    const auto syncAndSettle = [&] {
        controller.sessions().syncSessions();
        while (test::ControllerProbe::panelSync(controller).isReading()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    };
    rewrite(0);
    syncAndSettle(); // the first sync starts following the transcript

    std::vector<double> cpu;
    std::vector<double> wall;
    for (int round = 1; round <= rounds; ++round) {
        rewrite(round);
        QCoreApplication::processEvents();
        const double cpuStart = threadCpuMs();
        const double wallStart = wallMs();
        syncAndSettle();
        wall.push_back(wallMs() - wallStart);
        cpu.push_back(threadCpuMs() - cpuStart);
    }

    const auto report = [](const char* what, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const auto at = [&](double p) { return values[static_cast<std::size_t>(p * (values.size() - 1))]; };
        std::printf("%s per sync: p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms\n", what, at(0.5), at(0.9),
            at(0.99), values.back());
    };
    std::printf("sessions: %d live, %d %% of them rewriting their files before each of %d syncs; %lld rows in the "
                "panel, %d waiting\n",
        sessions, changingPercent, rounds, static_cast<long long>(controller.vm().sessions().size()),
        controller.vm().waitingAgents());
    report("main-thread CPU", cpu);
    report("wall until settled", wall);
    return 0;
}
