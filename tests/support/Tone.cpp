#include "tests/support/Tone.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include <QtEndian>

namespace murmeli::test {

namespace {

void writeSample(char* at, platform::SampleType type, double value)
{
    switch (type) {
    case platform::SampleType::UInt8:
        *at = char(std::lround(128 + value * 127));
        break;
    case platform::SampleType::Int16:
        qToLittleEndian<qint16>(qint16(std::lround(value * 32767)), at);
        break;
    case platform::SampleType::Int32:
        qToLittleEndian<qint32>(qint32(std::llround(value * 2147483647.0)), at);
        break;
    case platform::SampleType::Float32: {
        const float sample = float(value);
        quint32 bits = 0;
        std::memcpy(&bits, &sample, sizeof bits);
        qToLittleEndian<quint32>(bits, at);
        break;
    }
    }
}

} // namespace

QByteArray makeTone(double frequencyHz, int sampleRate, int durationMs, double amplitude)
{
    return makeTone(
        platform::AudioFormat { sampleRate, 1, platform::SampleType::Int16 }, frequencyHz, durationMs, amplitude);
}

QByteArray makeTone(const platform::AudioFormat& format, double frequencyHz, int durationMs, double amplitude)
{
    const qsizetype frames = qsizetype(format.sampleRate) * durationMs / 1000;
    QByteArray bytes(frames * format.bytesPerFrame(), Qt::Uninitialized);
    char* at = bytes.data();
    for (qsizetype i = 0; i < frames; ++i) {
        const double value = amplitude * std::sin(2 * std::numbers::pi * frequencyHz * double(i) / format.sampleRate);
        for (int c = 0; c < format.channels; ++c, at += format.bytesPerSample()) {
            writeSample(at, format.sampleType, value);
        }
    }
    return bytes;
}

std::vector<qint16> samplesOf(const QByteArray& raw)
{
    std::vector<qint16> samples(size_t(raw.size()) / sizeof(qint16));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = qFromLittleEndian<qint16>(raw.constData() + i * sizeof(qint16));
    }
    return samples;
}

double toneShare(std::span<const qint16> window, double frequencyHz, int sampleRate)
{
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequencyHz / sampleRate);
    double previous = 0;
    double beforePrevious = 0;
    double energy = 0;
    for (const qint16 sample : window) {
        const double x = sample / 32768.0;
        const double current = x + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
        energy += x * x;
    }
    // Below about -80 dBFS there is nothing to measure; a silent window has no tone in it.
    if (window.empty() || energy / double(window.size()) < 1e-8) {
        return 0;
    }
    const double power
        = previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    // A sine of amplitude A over N samples gives power (A·N/2)² and energy A²·N/2.
    return 2 * power / (double(window.size()) * energy);
}

std::optional<qsizetype> findTone(std::span<const qint16> samples, qsizetype from, double frequencyHz, int sampleRate)
{
    const qsizetype window = sampleRate / 10;
    for (qsizetype start = from; start + window <= qsizetype(samples.size()); start += window / 2) {
        if (toneShare(samples.subspan(start, window), frequencyHz, sampleRate) > 0.9) {
            return start;
        }
    }
    return std::nullopt;
}

} // namespace murmeli::test
