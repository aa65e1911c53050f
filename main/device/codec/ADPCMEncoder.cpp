#include "main/device/codec/ADPCMEncoder.h"

#include <algorithm>
#include <cstring>

#include <QtEndian>

namespace murmeli::device::ADPCMEncoder {

const std::array<std::int16_t, 89> stepTable = { 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37,
    41, 45, 50, 55, 60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408,
    449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024,
    3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289, 16818,
    18500, 20350, 22385, 24623, 27086, 29794, 32767 };

const std::array<std::int8_t, 16> indexTable = { -1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8 };

namespace {

constexpr int maxIndex = static_cast<int>(stepTable.size()) - 1;

// Both directions rebuild the sample the same way, so encoder and decoder never drift apart.
std::int16_t reconstruct(std::uint8_t code, State& state)
{
    const int step = stepTable[static_cast<std::size_t>(state.index)];
    int delta = step >> 3;
    if (code & 1) {
        delta += step >> 2;
    }
    if (code & 2) {
        delta += step >> 1;
    }
    if (code & 4) {
        delta += step;
    }
    if (code & ~7) {
        delta = -delta;
    }
    state.prevSample = static_cast<std::int16_t>(std::clamp(state.prevSample + delta, -32768, 32767));
    state.index = std::clamp(state.index + indexTable[code & 15], 0, maxIndex);
    return state.prevSample;
}

std::int16_t sampleAt(const char* pcm, qsizetype index)
{
    return qFromLittleEndian<std::int16_t>(pcm + index * 2);
}

} // namespace

std::uint8_t encodeNibble(std::int16_t sample, State& state)
{
    const int step = stepTable[static_cast<std::size_t>(state.index)];
    int diff = int(sample) - int(state.prevSample);
    std::uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    if (diff >= step) {
        code |= 4;
        diff -= step;
    }
    if (diff >= step >> 1) {
        code |= 2;
        diff -= step >> 1;
    }
    if (diff >= step >> 2) {
        code |= 1;
    }
    reconstruct(code, state);
    return code;
}

std::int16_t decodeNibble(std::uint8_t code, State& state)
{
    return reconstruct(code, state);
}

QByteArray encode(const QByteArray& pcm, State& state)
{
    const qsizetype samples = pcm.size() / 2;
    QByteArray out;
    out.reserve(pcm.size() / 4);
    const char* data = pcm.constData();
    for (qsizetype k = 0; 2 * k + 1 < samples; ++k) {
        const std::uint8_t low = encodeNibble(sampleAt(data, 2 * k), state);
        const std::uint8_t high = encodeNibble(sampleAt(data, 2 * k + 1), state);
        out.append(static_cast<char>(low | (high << 4)));
    }
    return out;
}

QByteArray decode(const QByteArray& adpcm, State& state)
{
    QByteArray out(adpcm.size() * 4, Qt::Uninitialized);
    char* cursor = out.data();
    for (const char byte : adpcm) {
        const auto value = static_cast<std::uint8_t>(byte);
        qToLittleEndian(decodeNibble(value & 0x0F, state), cursor);
        qToLittleEndian(decodeNibble(value >> 4, state), cursor + 2);
        cursor += 4;
    }
    return out;
}

QByteArray downsample(const QByteArray& pcm, int fromRate, int toRate)
{
    if (toRate >= fromRate || toRate <= 0) {
        return pcm;
    }
    const qsizetype n = pcm.size() / 2;
    const double ratio = double(fromRate) / double(toRate);
    const auto m = static_cast<qsizetype>(double(n) / ratio);
    if (m < 1) {
        return {};
    }
    QByteArray out(m * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < m; ++i) {
        const qsizetype source = std::min(n - 1, static_cast<qsizetype>(ratio * double(i)));
        std::memcpy(out.data() + i * 2, pcm.constData() + source * 2, 2);
    }
    return out;
}

} // namespace murmeli::device::ADPCMEncoder
