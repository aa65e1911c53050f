#pragma once

#include <memory>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "platform/audio/AudioFormat.h"

struct SpeexResamplerState_;

namespace murmeli::platform {

/// Turns captured PCM of any supported format into take PCM (16 kHz mono signed 16-bit little-endian): channels are
/// averaged, samples scaled, the rate changed by speexdsp. It is fed one captured buffer after another and keeps the
/// resampler's filter state across them, so a signal cut into buffers converts to the same samples as in one piece.
class AudioConverter final {
public:
    /// A converter from the format; isValid() is false when the format cannot be read.
    explicit AudioConverter(const AudioFormat& from);
    ~AudioConverter();
    Q_DISABLE_COPY_MOVE(AudioConverter)

    /// The take PCM of a whole signal, such as a recording's; empty when the format cannot be read.
    static QByteArray convertWhole(const AudioFormat& from, QByteArrayView pcm);

    bool isValid() const { return m_error.isEmpty(); }
    /// Why the converter cannot work, or "" when it can.
    QString errorString() const { return m_error; }
    const AudioFormat& inputFormat() const { return m_from; }

    /// Converts the next captured bytes and returns the take PCM ready so far; a trailing partial frame waits for
    /// the next call. Empty while the resampler is still filling its filter.
    QByteArray convert(QByteArrayView captured);
    /// Ends the signal: returns what the resampler still holds, so that the whole output has the length of the
    /// whole input at the take rate, and makes the converter ready for a new signal.
    QByteArray flush();

private:
    struct ResamplerDeleter final {
        void operator()(SpeexResamplerState_* state) const;
    };

    void toMonoFloat(const char* frames, qsizetype count);
    void resample(const float* input, qsizetype count, QByteArray& out);
    void reset();

    AudioFormat m_from;
    QString m_error;
    std::unique_ptr<SpeexResamplerState_, ResamplerDeleter> m_resampler;
    QByteArray m_partialFrame;
    std::vector<float> m_mono;
    std::vector<float> m_resampled;
    // Samples in and out since the signal began: the flush tops the output up to the exact length from these.
    qint64 m_framesIn = 0;
    qint64 m_samplesOut = 0;
};

} // namespace murmeli::platform
