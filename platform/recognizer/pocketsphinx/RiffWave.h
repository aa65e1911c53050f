#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>

namespace murmeli::platform {

/// One channel of signed 16-bit samples at sampleRate.
struct MonoPcm final {
    std::vector<std::int16_t> samples;
    int sampleRate = 0;

    friend bool operator==(const MonoPcm&, const MonoPcm&) = default;
};

/// Reading RIFF/WAVE files as other programs write them: chunks in any order with others between them, integer
/// PCM of 8 to 32 bits, 32- or 64-bit float, the extensible header, any number of channels.
namespace RiffWave {

/// The file's audio mixed down to one channel of 16-bit samples at the file's own rate; std::nullopt with *whyNot
/// set when the bytes are not a WAVE file this reader takes.
std::optional<MonoPcm> decode(const QByteArray& file, QString* whyNot);

} // namespace RiffWave

} // namespace murmeli::platform
