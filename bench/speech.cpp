// Times a spoken phrase from TTSEngine::speak() to the moment its first (and only) audio buffer is handed to the
// output: for a phrase synthesised anew each time (espeak-ng run as a child, its WAV parsed, resampled and encoded)
// and for a short phrase the engine keeps, beside espeak-ng's own time for the same phrase run on its own.
//   speech [ROUNDS=30]

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "bench/Measure.h"
#include "main/common/ProcessRunner.h"
#include "main/device/tts/SayTTSBackend.h"
#include "main/device/tts/TTSEngine.h"
#include "platform/defaults/Defaults.h"

using namespace murmeli;
using bench::percentile;

namespace {

// Notes when the engine hands it a buffer and plays nothing.
class StopwatchOutput final : public device::TTSOutput {
public:
    QElapsedTimer clock;
    std::optional<double> handedAtMs;

    QString id() const override { return QStringLiteral("stopwatch"); }
    QString displayName() const override { return id(); }
    bool isAvailable() const override { return true; }
    QCoro::Task<> play(QByteArray) override
    {
        handedAtMs = clock.nsecsElapsed() / 1e6;
        co_return;
    }
    void stop() override { }
};

// Milliseconds from speak() to the buffer, for one phrase.
double timeSpeak(device::TTSEngine& engine, StopwatchOutput& output, const QString& phrase)
{
    output.handedAtMs.reset();
    bool done = false;
    output.clock.start();
    [](device::TTSEngine& tts, QString text, bool& finished) -> QCoro::Task<> {
        co_await tts.speak(std::move(text));
        finished = true;
    }(engine, phrase, done);
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!output.handedAtMs) {
        std::fprintf(stderr, "speech: no buffer for \"%s\"\n", qPrintable(phrase));
        std::exit(1);
    }
    return *output.handedAtMs;
}

// Milliseconds espeak-ng takes to write the phrase's WAV on its own, start to exit.
double timeTool(const QString& phrase, const QString& wav)
{
    QElapsedTimer clock;
    clock.start();
    const common::ProcessResult run = common::runProcessBlocking({ QStringLiteral("espeak-ng"),
        { QStringLiteral("-s"), QStringLiteral("160"), QStringLiteral("-w"), wav, QStringLiteral("--"), phrase } });
    const double ms = clock.nsecsElapsed() / 1e6;
    if (!run.succeeded()) {
        std::fprintf(stderr, "speech: espeak-ng failed: %s\n", run.standardError.constData());
        std::exit(1);
    }
    return ms;
}

void report(const char* what, const std::vector<double>& ms, double toolMedian)
{
    const double median = percentile(ms, 0.5);
    std::printf(
        "%-34s median %7.3f ms, p90 %7.3f ms, max %7.3f ms", what, median, percentile(ms, 0.9), percentile(ms, 1.0));
    if (toolMedian > 0) {
        std::printf("  (%.3f x espeak-ng alone)", median / toolMedian);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (rounds <= 0 || QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty()) {
        std::fprintf(stderr, "usage: speech [ROUNDS=30]; needs espeak-ng on the PATH\n");
        return 2;
    }
    QTemporaryDir dir;
    platform::Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    device::TTSEngine engine(defaults);
    auto output = std::make_shared<StopwatchOutput>();
    engine.setBackends({ std::make_shared<device::SayTTSBackend>() });
    engine.setOutputs({ output });
    engine.setEnabled(true);

    // A typical approval prompt, too long to be kept; and a short phrase that is.
    const QString uncached = QStringLiteral("Approve. npm run build and test");
    const QString cached = QStringLiteral("Task complete");
    const QString wav = dir.filePath(QStringLiteral("tool.wav"));
    std::vector<double> tool, synthesised, kept, toolShort, firstShort;
    timeSpeak(engine, *output, uncached); // warms the page cache for the tool and its voice data
    for (int i = 0; i < rounds; ++i) {
        tool.push_back(timeTool(uncached, wav));
        synthesised.push_back(timeSpeak(engine, *output, uncached));
        toolShort.push_back(timeTool(cached, wav));
        engine.clearCache();
        firstShort.push_back(timeSpeak(engine, *output, cached));
        kept.push_back(timeSpeak(engine, *output, cached));
    }
    std::printf("%d rounds\n", rounds);
    report("espeak-ng alone, long phrase:", tool, 0);
    report("speak() to buffer, long phrase:", synthesised, percentile(tool, 0.5));
    report("espeak-ng alone, short phrase:", toolShort, 0);
    report("speak() to buffer, short, first:", firstShort, percentile(toolShort, 0.5));
    report("speak() to buffer, short, cached:", kept, percentile(toolShort, 0.5));
    return 0;
}
