// The path of captured audio through the speech engine to the cloud worker's socket, with a fake microphone and
// the loopback mock worker in a child process (so only the client is measured). Reports (a) the latency from the
// capture of a 100 ms buffer to that piece's arrival at the worker, over a streaming take of the older protocol, and
// (b) the CPU share of capture, resampling (48 kHz stereo float to 16 kHz mono) and the pump while a take records
// in real time, and (c) the same with the sound server's default input through the real capture, when there is one
// (bench/take-latency runs it inside the test desktop, whose microphone is its speaker's monitor).
//   take_latency [PIECES=200] [SECONDS=10]
//   take_latency --worker       (the child: prints "PORT <n>", then "PIECE <monotonic ms>" per audio frame)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include "bench/WorkerChild.h"
#include "main/common/Clock.h"
#include "main/voice/engine/SpeechEngine.h"
#include "platform/audio/AudioCaptureFactory.h"
#include "platform/audio/fake/FakeAudioCapture.h"
#include "platform/defaults/Defaults.h"
#include "platform/recognizer/fake/FakeSpeechRecognizer.h"
#include "tests/support/MockCloudWorker.h"
#include "tests/support/MockRunTaskRoute.h"

using namespace murmeli;
using bench::nowMs;
using bench::spinUntil;

namespace {

double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

int serveWorker()
{
    test::MockCloudWorker worker;
    test::MockRunTaskRoute route(worker);
    // Times on the monotonic clock the parent reads too.
    route.onAudio = [](const test::MockRunTaskRoute::Client&, const QByteArray&) {
        std::printf("PIECE %.3f\n", nowMs());
        std::fflush(stdout);
    };
    return bench::serveUntilInputCloses(worker);
}

// Noise-like 48 kHz stereo float audio, so the resampler does real work.
QByteArray stereoFloat(int seconds)
{
    const int frames = 48000 * seconds;
    QByteArray pcm(frames * 2 * int(sizeof(float)), Qt::Uninitialized);
    auto* samples = reinterpret_cast<float*>(pcm.data());
    for (int i = 0; i < frames; ++i) {
        samples[2 * i] = float(0.3 * std::sin(i * 0.057) + 0.1 * std::sin(i * 0.31));
        samples[2 * i + 1] = float(0.3 * std::sin(i * 0.043));
    }
    return pcm;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--worker")) {
        return serveWorker();
    }
    const int pieces = args.value(1, "200").toInt();
    const int seconds = args.value(2, "10").toInt();

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), { "--worker" });
    if (!child.waitForReadyRead(10000)) {
        std::fprintf(stderr, "take_latency: the worker did not start\n");
        return 1;
    }
    const int port = QString::fromLatin1(child.readLine()).trimmed().section(' ', 1).toInt();
    std::vector<double> arrivals;
    QObject::connect(&child, &QProcess::readyReadStandardOutput, [&] {
        while (child.canReadLine()) {
            arrivals.push_back(QString::fromLatin1(child.readLine()).trimmed().section(' ', 1).toDouble());
        }
    });

    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    common::SystemClock clock;
    QPointer<platform::FakeAudioCapture> microphone;
    platform::AudioFormat source = platform::AudioFormat::take();
    QByteArray sourcePcm(16000 * 2 * (pieces / 10 + 1), '\x11');
    double speed = 0;
    bool soundServer = false;
    voice::SpeechEngine::Devices devices { [&] {
                                              if (soundServer) {
                                                  return platform::makeAudioCapture();
                                              }
                                              auto capture = std::make_unique<platform::FakeAudioCapture>();
                                              capture->setSource(source, sourcePcm);
                                              // One buffer is one 100 ms piece at the take rate; at 48 kHz it is the
                                              // platform's 4096-frame tap.
                                              capture->setBufferFrames(source.sampleRate == 16000 ? 1600 : 4096);
                                              capture->setSpeed(speed);
                                              microphone = capture.get();
                                              return std::unique_ptr<platform::AudioCapture>(std::move(capture));
                                          },
        std::make_shared<platform::FakeSpeechRecognizer>(), dir.path() };
    voice::SpeechEngine engine(defaults, clock, std::move(devices));
    engine.setCloudToken(QStringLiteral("bench-token"));
    engine.setCloudWorkerURL(QStringLiteral("http://127.0.0.1:%1").arg(port));
    bool ended = false;
    engine.onResult = [&](const QString&) { ended = true; };
    engine.onError = [&](const QString& message) {
        std::fprintf(stderr, "take_latency: %s\n", qPrintable(message));
        ended = true;
    };

    // (a) Capture to socket, one 100 ms buffer at a time.
    if (!engine.startStreamingRecord() || !microphone) {
        std::fprintf(stderr, "take_latency: the streaming take did not start\n");
        return 1;
    }
    std::vector<double> latencies;
    for (int i = 0; i < pieces; ++i) {
        // At the pace a microphone delivers, so nothing is measured warmer than it would be.
        bench::idleFor(100);
        const double captureAt = nowMs();
        microphone->deliver(1);
        if (!spinUntil([&] { return int(arrivals.size()) > i; }, 5000)) {
            std::fprintf(stderr, "take_latency: piece %d never arrived\n", i);
            return 1;
        }
        latencies.push_back(arrivals[i] - captureAt);
    }
    engine.stopStreamingRecord();
    spinUntil([&] { return ended; }, 10000);
    std::sort(latencies.begin(), latencies.end());
    std::printf("capture -> worker socket, %d pieces of 100 ms at real-time pace: min %.3f ms, median %.3f ms, p95 "
                "%.3f ms, max %.3f ms\n",
        pieces, latencies.front(), latencies[latencies.size() / 2], latencies[latencies.size() * 95 / 100],
        latencies.back());

    // A take recording in real time for the given seconds: the CPU share of one core the whole process spent.
    const auto recordingCpu = [&](const char* what) {
        ended = false;
        const size_t before = arrivals.size();
        if (!engine.startStreamingRecord()) {
            std::fprintf(stderr, "take_latency: the take from %s did not start\n", what);
            return false;
        }
        const double wallStart = nowMs();
        const double cpuStart = cpuMs();
        bench::idleFor(seconds * 1000);
        const double cpu = cpuMs() - cpuStart;
        const double wall = nowMs() - wallStart;
        engine.stopStreamingRecord();
        spinUntil([&] { return ended; }, 10000);
        std::printf("recording %d s in real time from %s (%zu pieces sent): CPU %.2f %% of one core (target < 2 %%)\n",
            seconds, what, arrivals.size() - before, 100.0 * cpu / wall);
        return true;
    };

    // (b) A 48 kHz stereo float microphone, resampled to 16 kHz mono.
    source = { 48000, 2, platform::SampleType::Float32 };
    sourcePcm = stereoFloat(seconds + 1);
    speed = 1;
    if (!recordingCpu("a fake 48 kHz stereo float microphone")) {
        return 1;
    }

    // (c) The sound server's default input, through Qt Multimedia and the same converter.
    const platform::MicrophoneAccess access = platform::makeAudioCapture()->checkAccess();
    if (access.granted) {
        soundServer = true;
        const QString what = QStringLiteral("the sound server's \"%1\"").arg(access.detail);
        if (!recordingCpu(qPrintable(what))) {
            return 1;
        }
    } else {
        std::printf("no sound server input (%s): the real capture is not measured\n", qPrintable(access.detail));
    }

    child.closeWriteChannel();
    child.waitForFinished(5000);
    return 0;
}
