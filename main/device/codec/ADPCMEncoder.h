#pragma once

#include <array>
#include <cstdint>

#include <QByteArray>

/// IMA ADPCM on a raw stream: no header, no blocks, two samples a byte with the earlier one in the low nibble. The
/// device decodes speech with the same rules, each phrase starting from State().
namespace murmeli::device::ADPCMEncoder {

/// The standard's step sizes, 7 up to 32767.
extern const std::array<std::int16_t, 89> stepTable;
/// The standard's index adjustments, by 4-bit code.
extern const std::array<std::int8_t, 16> indexTable;

/// Carried from sample to sample, and from call to call when the caller passes it again.
struct State final {
    /// The last reconstructed sample.
    std::int16_t prevSample = 0;
    /// Position in stepTable, always within 0...88.
    int index = 0;

    friend bool operator==(const State&, const State&) = default;
};

/// The 4-bit code of one sample; the state moves on to the reconstructed sample.
std::uint8_t encodeNibble(std::int16_t sample, State& state);
/// The reconstructed sample of one code; any bit above the lowest three counts as the sign.
std::int16_t decodeNibble(std::uint8_t code, State& state);

/// 16-bit little-endian mono PCM to n / 2 bytes for its n whole samples; an odd last sample is left out and
/// fewer than two samples give "".
QByteArray encode(const QByteArray& pcm, State& state);
/// Four PCM bytes for every input byte, low nibble first.
QByteArray decode(const QByteArray& adpcm, State& state);
/// Plain decimation without filtering; the input unchanged when toRate is not below fromRate.
QByteArray downsample(const QByteArray& pcm, int fromRate, int toRate);

} // namespace murmeli::device::ADPCMEncoder
