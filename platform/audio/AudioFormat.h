#pragma once

#include <QString>

namespace murmeli::platform {

/// How one sample is stored; the four encodings sound servers hand to capture clients.
enum class SampleType { UInt8, Int16, Int32, Float32 };

/// Interleaved linear PCM in the host's (little-endian) byte order.
struct AudioFormat final {
    int sampleRate = 0;
    int channels = 0;
    SampleType sampleType = SampleType::Int16;

    /// What every take is made of: 16 kHz mono signed 16-bit.
    static AudioFormat take() { return { 16000, 1, SampleType::Int16 }; }

    /// Whether a converter can read it: a rate from 1 kHz to 384 kHz and 1 to 8 channels.
    bool isValid() const;
    int bytesPerSample() const;
    int bytesPerFrame() const { return bytesPerSample() * channels; }
    /// Bytes of this format that hold the duration, in whole frames.
    qsizetype bytesForMs(int ms) const;
    /// "44100 Hz, 2 ch, int16", for log lines.
    QString describe() const;

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace murmeli::platform
