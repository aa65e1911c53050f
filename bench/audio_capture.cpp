// What capturing the microphone costs, on the test desktop's sound server (bench/audio-capture runs it there):
//   (a) the converter alone: CPU time per second of audio for the formats sound servers hand over;
//   (b) a live capture of SECONDS from the default input, converted to take PCM: the whole process's CPU time as a
//       share of one core (target under 2 %), and how much take PCM came per second;
//   (c) the latency of a 100 ms piece: a 100 ms tone is played into the speaker whose monitor the microphone is,
//       and the time from the tone's last sample leaving for the speaker to the capture having delivered the whole
//       piece is measured, ROUNDS times. It includes the speaker's own small buffer, which is reported beside it.
//   audio_capture [SECONDS=10] [ROUNDS=10]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <QtEndian>

#include <sys/resource.h>

#include "platform/audio/AudioCaptureFactory.h"
#include "platform/audio/AudioConverter.h"
#include "tests/support/Tone.h"

using namespace murmeli;

namespace {

constexpr int sinkRate = 48000;
constexpr int sinkBufferMs = 40;
constexpr int pieceMs = 100;
constexpr int takeRate = 16000;
constexpr qint16 toneThreshold = 2000; // the tone peaks near 16000; the silent speaker gives 0

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1000 + double(t.tv_usec) / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Runs the event loop, idle between events so that the measurement sees only the capture's own work, until pred
// holds (looked at every 5 ms) or limitMs passes.
bool spinUntil(const std::function<bool()>& pred, double limitMs)
{
    if (pred()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (pred()) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(int(limitMs), &loop, &QEventLoop::quit);
    loop.exec();
    return pred();
}

void idleFor(double ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray tone(const platform::AudioFormat& format, int ms)
{
    return test::makeTone(format, 1000, ms, 0.5);
}

void benchConverter()
{
    std::printf("converter, 60 s of audio in 50 ms buffers:\n");
    for (const platform::AudioFormat& format : { platform::AudioFormat { 44100, 2, platform::SampleType::Int16 },
             platform::AudioFormat { 48000, 2, platform::SampleType::Float32 },
             platform::AudioFormat { 48000, 1, platform::SampleType::Int16 } }) {
        const QByteArray second = tone(format, 1000);
        const qsizetype buffer = format.bytesForMs(50);
        platform::AudioConverter converter(format);
        qsizetype produced = 0;
        const double start = cpuMs();
        for (int s = 0; s < 60; ++s) {
            for (qsizetype at = 0; at < second.size(); at += buffer) {
                produced += converter.convert(QByteArrayView(second).sliced(at, std::min(buffer, second.size() - at)))
                                .size();
            }
        }
        const double used = cpuMs() - start;
        std::printf("  %-24s %6.3f ms CPU per s of audio = %.3f %% of one core (%lld bytes out)\n",
            qPrintable(format.describe()), used / 60, used / 60 / 10, static_cast<long long>(produced));
    }
}

bool benchCaptureCpu(int seconds)
{
    const std::unique_ptr<platform::AudioCapture> capture = platform::makeAudioCapture();
    const platform::MicrophoneAccess access = capture->checkAccess();
    if (!access.granted) {
        std::printf("no capture: %s\n", qPrintable(access.detail));
        return false;
    }
    qint64 bytes = 0;
    int pieces = 0;
    QObject::connect(capture.get(), &platform::AudioCapture::pcmCaptured, [&](const QByteArray& pcm) {
        bytes += pcm.size();
        ++pieces;
    });
    if (!capture->start()) {
        std::printf("capture did not start: %s\n", qPrintable(capture->errorString()));
        return false;
    }
    // The first buffers carry the stream's set-up; the measurement starts once audio flows.
    spinUntil([&] { return pieces >= 3; }, 5000);
    const double wallStart = nowMs();
    const double cpuStart = cpuMs();
    const qint64 bytesStart = bytes;
    const int piecesStart = pieces;
    idleFor(seconds * 1000.0);
    const double wall = nowMs() - wallStart;
    const double cpu = cpuMs() - cpuStart;
    capture->stop();
    std::printf("live capture from \"%s\" for %.1f s:\n", qPrintable(access.detail), wall / 1000);
    std::printf("  CPU %.1f ms = %.3f %% of one core (target under 2 %%)\n", cpu, 100 * cpu / wall);
    std::printf("  take PCM %.0f bytes/s (32000 expected), %.1f buffers/s\n", (bytes - bytesStart) * 1000 / wall,
        (pieces - piecesStart) * 1000 / wall);
    return true;
}

// Feeds the speaker in 10 ms blocks whenever its small buffer has room: silence, or the blocks of one 100 ms tone
// when asked, noting when the tone's last block was handed over.
class SpeakerFeed final {
public:
    explicit SpeakerFeed(QAudioSink& sink)
        : m_sink(sink), m_tone(tone({ sinkRate, 1, platform::SampleType::Int16 }, pieceMs))
    {
        m_device = m_sink.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { feed(); });
        m_timer.start(2);
    }

    void playTone()
    {
        m_position = 0;
        m_playing = true;
        m_lastHandedMs = 0;
    }
    double lastHandedMs() const { return m_lastHandedMs; }

private:
    void feed()
    {
        const qsizetype block = sinkRate / 100 * qsizetype(sizeof(qint16));
        while (m_device && m_sink.bytesFree() >= block) {
            if (m_playing) {
                m_device->write(m_tone.constData() + m_position, block);
                m_position += block;
                if (m_position >= m_tone.size()) {
                    m_playing = false;
                    m_lastHandedMs = nowMs();
                }
            } else {
                m_device->write(QByteArray(block, '\0'));
            }
        }
    }

    QAudioSink& m_sink;
    QIODevice* m_device = nullptr;
    QTimer m_timer;
    QByteArray m_tone;
    qsizetype m_position = 0;
    bool m_playing = false;
    double m_lastHandedMs = 0;
};

bool benchLatency(int rounds)
{
    QAudioFormat format;
    format.setSampleRate(sinkRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    QAudioSink sink(QMediaDevices::defaultAudioOutput(), format);
    sink.setBufferSize(format.bytesForDuration(sinkBufferMs * 1000));
    SpeakerFeed source(sink);

    const std::unique_ptr<platform::AudioCapture> capture = platform::makeAudioCapture();
    std::vector<qint16> samples;
    std::vector<std::pair<double, qsizetype>> arrivals; // when, and the samples delivered by then
    QObject::connect(capture.get(), &platform::AudioCapture::pcmCaptured, [&](const QByteArray& pcm) {
        for (qsizetype i = 0; i + 1 < pcm.size(); i += 2) {
            samples.push_back(qFromLittleEndian<qint16>(pcm.constData() + i));
        }
        arrivals.emplace_back(nowMs(), qsizetype(samples.size()));
    });
    if (!capture->start()) {
        std::printf("capture did not start: %s\n", qPrintable(capture->errorString()));
        return false;
    }
    idleFor(500);
    const double queuedMs = double(sink.bufferSize()) / format.bytesPerFrame() * 1000 / sinkRate;

    std::vector<double> latencies;
    for (int round = 0; round < rounds; ++round) {
        const qsizetype from = qsizetype(samples.size());
        source.playTone();
        const qsizetype piece = takeRate * pieceMs / 1000;
        qsizetype onset = -1;
        qsizetype scanned = from;
        const bool heard = spinUntil(
            [&] {
                for (; onset < 0 && scanned < qsizetype(samples.size()); ++scanned) {
                    if (std::abs(samples[size_t(scanned)]) > toneThreshold) {
                        onset = scanned;
                    }
                }
                return onset >= 0 && qsizetype(samples.size()) >= onset + piece && source.lastHandedMs() > 0;
            },
            3000);
        if (!heard) {
            std::printf("  round %d: the tone did not come back\n", round);
            continue;
        }
        const auto complete = std::find_if(
            arrivals.begin(), arrivals.end(), [&](const auto& arrival) { return arrival.second >= onset + piece; });
        latencies.push_back(complete->first - source.lastHandedMs());
        idleFor(300);
    }
    capture->stop();
    sink.stop();
    if (latencies.empty()) {
        return false;
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("100 ms piece, last sample handed to the speaker -> whole piece delivered as take PCM (%zu rounds; "
                "includes up to %.0f ms queued in the speaker's buffer):\n  min %.1f ms, median %.1f ms, max %.1f ms\n",
        latencies.size(), queuedMs, latencies.front(), latencies[latencies.size() / 2], latencies.back());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    benchConverter();
    if (!benchCaptureCpu(std::max(1, seconds))) {
        return 1;
    }
    return benchLatency(std::max(1, rounds)) ? 0 : 1;
}
