#include "platform/audio/AudioConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QtEndian>

#include <speex/speex_resampler.h>

namespace murmeli::platform {

namespace {

// Speech needs nothing above the desktop setting, and it costs well under a percent of a core at 48 kHz.
constexpr int resamplerQuality = SPEEX_RESAMPLER_QUALITY_DESKTOP;
// How many frames of silence one round of a flush pushes through the filter.
constexpr qsizetype flushBlock = 256;

template <typename T> T readLE(const char* at)
{
    return qFromLittleEndian<T>(at);
}

float sampleAt(const char* at, SampleType type)
{
    switch (type) {
    case SampleType::UInt8:
        return (static_cast<unsigned char>(*at) - 128) / 128.0f;
    case SampleType::Int16:
        return readLE<qint16>(at) / 32768.0f;
    case SampleType::Int32:
        return static_cast<float>(readLE<qint32>(at) / 2147483648.0);
    case SampleType::Float32: {
        const quint32 bits = readLE<quint32>(at);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value) ? value : 0.0f;
    }
    }
    return 0;
}

void appendTakeSamples(QByteArray& out, const float* samples, qsizetype count)
{
    const qsizetype start = out.size();
    out.resize(start + count * qsizetype(sizeof(qint16)));
    char* at = out.data() + start;
    for (qsizetype i = 0; i < count; ++i, at += sizeof(qint16)) {
        const float scaled = std::clamp(samples[i] * 32768.0f, -32768.0f, 32767.0f);
        qToLittleEndian<qint16>(static_cast<qint16>(std::lrint(scaled)), at);
    }
}

} // namespace

void AudioConverter::ResamplerDeleter::operator()(SpeexResamplerState_* state) const
{
    speex_resampler_destroy(state);
}

AudioConverter::AudioConverter(const AudioFormat& from) : m_from(from)
{
    if (!from.isValid()) {
        m_error = QStringLiteral("cannot convert audio of %1").arg(from.describe());
        return;
    }
    const int target = AudioFormat::take().sampleRate;
    if (from.sampleRate == target) {
        return;
    }
    int error = RESAMPLER_ERR_SUCCESS;
    m_resampler.reset(
        speex_resampler_init(1, spx_uint32_t(from.sampleRate), spx_uint32_t(target), resamplerQuality, &error));
    if (!m_resampler) {
        m_error = QStringLiteral("no resampler from %1 Hz: %2")
                      .arg(from.sampleRate)
                      .arg(QString::fromUtf8(speex_resampler_strerror(error)));
        return;
    }
    speex_resampler_skip_zeros(m_resampler.get());
}

AudioConverter::~AudioConverter() = default;

QByteArray AudioConverter::convertWhole(const AudioFormat& from, QByteArrayView pcm)
{
    AudioConverter converter(from);
    QByteArray out = converter.convert(pcm);
    out += converter.flush();
    return out;
}

QByteArray AudioConverter::convert(QByteArrayView captured)
{
    QByteArray out;
    if (!isValid() || captured.isEmpty()) {
        return out;
    }
    const qsizetype frameBytes = m_from.bytesPerFrame();
    QByteArrayView frames = captured;
    if (!m_partialFrame.isEmpty()) {
        m_partialFrame.append(captured.data(), captured.size());
        frames = m_partialFrame;
    }
    const qsizetype count = frames.size() / frameBytes;
    toMonoFloat(frames.data(), count);
    QByteArray rest(frames.data() + count * frameBytes, frames.size() - count * frameBytes);
    m_partialFrame = std::move(rest);

    if (!m_resampler) {
        appendTakeSamples(out, m_mono.data(), count);
        return out;
    }
    m_framesIn += count;
    resample(m_mono.data(), count, out);
    return out;
}

QByteArray AudioConverter::flush()
{
    QByteArray out;
    if (m_resampler) {
        const qint64 target = AudioFormat::take().sampleRate;
        const qint64 expected = (m_framesIn * target + m_from.sampleRate / 2) / m_from.sampleRate;
        const std::vector<float> silence(flushBlock, 0.0f);
        // The filter's delay is a few dozen frames; the bound only guards against a resampler that stops producing.
        for (int round = 0; m_samplesOut < expected && round < 1000; ++round) {
            resample(silence.data(), flushBlock, out);
        }
        const qint64 surplus = m_samplesOut - expected;
        if (surplus > 0) {
            out.chop(surplus * qsizetype(sizeof(qint16)));
        }
    }
    reset();
    return out;
}

void AudioConverter::toMonoFloat(const char* frames, qsizetype count)
{
    const int channels = m_from.channels;
    const int sampleBytes = m_from.bytesPerSample();
    m_mono.resize(size_t(count));
    for (qsizetype i = 0; i < count; ++i) {
        const char* frame = frames + i * sampleBytes * channels;
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
            sum += sampleAt(frame + c * sampleBytes, m_from.sampleType);
        }
        m_mono[size_t(i)] = sum / float(channels);
    }
}

void AudioConverter::resample(const float* input, qsizetype count, QByteArray& out)
{
    const int target = AudioFormat::take().sampleRate;
    while (count > 0) {
        const qsizetype room = count * target / m_from.sampleRate + 64;
        m_resampled.resize(size_t(room));
        spx_uint32_t consumed = spx_uint32_t(count);
        spx_uint32_t produced = spx_uint32_t(room);
        speex_resampler_process_float(m_resampler.get(), 0, input, &consumed, m_resampled.data(), &produced);
        appendTakeSamples(out, m_resampled.data(), produced);
        m_samplesOut += produced;
        if (consumed == 0 && produced == 0) {
            break;
        }
        input += consumed;
        count -= consumed;
    }
}

void AudioConverter::reset()
{
    m_partialFrame.clear();
    m_framesIn = 0;
    m_samplesOut = 0;
    if (m_resampler) {
        speex_resampler_reset_mem(m_resampler.get());
        speex_resampler_skip_zeros(m_resampler.get());
    }
}

} // namespace murmeli::platform
