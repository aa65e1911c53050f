// One streaming turn of 10 s of audio against the loopback mock of the cloud worker, which runs in a child process
// so that only the client is measured. Reports (a) the latency the client adds from the last audio piece to the
// final text reaching onFinal, beyond the delay the worker is told to take, and (b) the memory one open session
// costs, over many sessions opened at once.
//   v3_turn [ROUNDS=5] [PACE_MS=100] [WORKER_DELAY_MS=20] [SESSIONS=100]
//   v3_turn --worker WORKER_DELAY_MS      (the child: prints "PORT <n>" and serves until its input closes)

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QProcess>

#include <malloc.h>

#include "bench/WorkerChild.h"
#include "main/common/Clock.h"
#include "main/voice/streaming/Qwen3ASRStreamingSession.h"
#include "platform/net/NetworkSessionFactory.h"
#include "platform/system/ProcessStats.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockTranscribeV3Route.h"

using namespace murmeli;
using Session = voice::Qwen3ASRStreamingSession;
using bench::nowMs;
using bench::spinUntil;

namespace {

int serveWorker(int delayMs)
{
    test::MockCloudWorker worker;
    test::MockTranscribeV3Route route(worker);
    route.script().finalDelayMs = delayMs;
    return bench::serveUntilInputCloses(worker);
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

size_t residentBytes()
{
    const auto stats = platform::readProcessStats();
    return stats ? stats->residentBytes : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--worker")) {
        return serveWorker(args.value(2).toInt());
    }
    const int rounds = args.value(1, "5").toInt();
    const int paceMs = args.value(2, "100").toInt();
    const int workerDelayMs = args.value(3, "20").toInt();
    const int sessions = args.value(4, "100").toInt();

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), { "--worker", QString::number(workerDelayMs) });
    if (!child.waitForReadyRead(10000)) {
        std::fprintf(stderr, "v3_turn: the worker did not start\n");
        return 1;
    }
    const int port = QString::fromLatin1(child.readLine()).trimmed().section(' ', 1).toInt();
    const QUrl endpoint(QStringLiteral("ws://127.0.0.1:%1/ws/transcribe-v3").arg(port));
    common::SystemClock clock;
    const auto network = platform::makeNetworkSession(QNetworkProxy(QNetworkProxy::NoProxy));

    // (a) Latency of the turn's end.
    Session session(endpoint, QStringLiteral("bench-token"), network, clock);
    double finalAt = 0;
    session.onFinal = [&](const QString&, qint64, qint64) { finalAt = nowMs(); };
    session.open(QStringLiteral("en-US"));
    if (!spinUntil([&] { return session.isReady(); }, 10000)) {
        std::fprintf(stderr, "v3_turn: the session did not become ready\n");
        return 1;
    }
    const QByteArray piece(3200, '\x11');
    std::vector<double> added;
    for (int round = 0; round < rounds; ++round) {
        session.beginTurn(QStringLiteral("en-US"));
        for (int i = 0; i < 100; ++i) { // 10 s of 16 kHz mono 16-bit audio
            session.feedAudio(piece);
            const double next = nowMs() + paceMs;
            spinUntil([&] { return nowMs() >= next; }, paceMs + 50);
        }
        finalAt = 0;
        const double lastPieceAt = nowMs();
        session.feedAudio(QByteArray(1600, '\x11')); // the tail a stopped take leaves
        session.endTurn();
        if (!spinUntil([&] { return finalAt > 0; }, 10000)) {
            std::fprintf(stderr, "v3_turn: no final text in round %d\n", round);
            return 1;
        }
        added.push_back(finalAt - lastPieceAt - workerDelayMs);
    }
    std::sort(added.begin(), added.end());
    std::printf(
        "turn: %d rounds of 10 s audio (pace %d ms/piece), worker delay %d ms\n", rounds, paceMs, workerDelayMs);
    std::printf("added latency last piece -> onFinal: min %.2f ms, median %.2f ms, max %.2f ms (target < 5 ms)\n",
        added.front(), added[added.size() / 2], added.back());

    // (b) Memory per open session, all sharing one network session as the application's do.
    const size_t heapBefore = heapInUse();
    const size_t rssBefore = residentBytes();
    std::vector<std::unique_ptr<Session>> open;
    for (int i = 0; i < sessions; ++i) {
        open.push_back(std::make_unique<Session>(endpoint, QStringLiteral("bench-token"), network, clock));
        open.back()->open(QStringLiteral("en-US"));
    }
    const bool allReady = spinUntil(
        [&] { return std::all_of(open.begin(), open.end(), [](const auto& s) { return s->isReady(); }); }, 20000);
    const size_t heapAfter = heapInUse();
    const size_t rssAfter = residentBytes();
    std::printf("sessions: %d open%s; heap %.1f KiB per session, resident %.1f KiB per session\n", sessions,
        allReady ? "" : " (not all ready)", (double(heapAfter) - double(heapBefore)) / sessions / 1024.0,
        (double(rssAfter) - double(rssBefore)) / sessions / 1024.0);

    open.clear();
    session.close();
    child.closeWriteChannel();
    child.waitForFinished(5000);
    return 0;
}
