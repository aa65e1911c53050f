#include "tests/desktop/Tone.h"

#include <cmath>
#include <numbers>

#include <QtEndian>

namespace murmeli::test {

QByteArray makeTone(double frequencyHz, int sampleRate, int durationMs, double amplitude)
{
    const qsizetype count = qsizetype(sampleRate) * durationMs / 1000;
    QByteArray bytes(count * qsizetype(sizeof(qint16)), Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i) {
        const double value = amplitude * std::sin(2 * std::numbers::pi * frequencyHz * double(i) / sampleRate);
        qToLittleEndian<qint16>(qint16(std::lround(value * 32767)), bytes.data() + i * qsizetype(sizeof(qint16)));
    }
    return bytes;
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

} // namespace murmeli::test
