#include "platform/recognizer/pocketsphinx/DecoderInput.h"

#include <memory>

#include <QFileInfo>
#include <QtEndian>

#include <speex/speex_resampler.h>

#include "main/common/BoundedFile.h"

namespace murmeli::platform::DecoderInput {

namespace {

using common::BoundedFile;
using common::FileProblem;

// A push-to-talk take is seconds long; an hour of 48 kHz stereo float is far beyond any, and still fits in memory.
constexpr qint64 kMaxFileBytes = qint64(1) << 30;
constexpr int kMinRate = 4000;
constexpr int kMaxRate = 384000;
// Offline work: the better filter costs little next to the decoding.
constexpr int kResamplerQuality = 8;

RecognitionError unreadable(const QString& what)
{
    return { RecognitionError::Code::UnreadableAudio, what };
}

struct ResamplerDeleter final {
    void operator()(SpeexResamplerState* state) const { speex_resampler_destroy(state); }
};

} // namespace

MonoPcm resampled(const MonoPcm& pcm, int rate)
{
    if (pcm.sampleRate == rate || pcm.samples.empty()) {
        return { pcm.samples, rate };
    }
    int error = 0;
    const std::unique_ptr<SpeexResamplerState, ResamplerDeleter> state(speex_resampler_init(
        1, static_cast<spx_uint32_t>(pcm.sampleRate), static_cast<spx_uint32_t>(rate), kResamplerQuality, &error));
    if (!state) {
        return { {}, rate };
    }
    // The filter delays its output: skip the leading zeros it would emit and push zeros behind the end to drain it.
    speex_resampler_skip_zeros(state.get());
    std::vector<spx_int16_t> input(pcm.samples.begin(), pcm.samples.end());
    input.resize(input.size() + static_cast<size_t>(speex_resampler_get_input_latency(state.get())), 0);
    const size_t expected = static_cast<size_t>(static_cast<double>(pcm.samples.size()) * rate / pcm.sampleRate);
    std::vector<spx_int16_t> output(expected + 64);
    spx_uint32_t inputUsed = 0;
    spx_uint32_t outputMade = 0;
    while (inputUsed < input.size() && outputMade < output.size()) {
        spx_uint32_t inLength = static_cast<spx_uint32_t>(input.size()) - inputUsed;
        spx_uint32_t outLength = static_cast<spx_uint32_t>(output.size()) - outputMade;
        speex_resampler_process_int(
            state.get(), 0, input.data() + inputUsed, &inLength, output.data() + outputMade, &outLength);
        if (inLength == 0 && outLength == 0) {
            break;
        }
        inputUsed += inLength;
        outputMade += outLength;
    }
    output.resize(std::min<size_t>(outputMade, expected));
    return { std::vector<std::int16_t>(output.begin(), output.end()), rate };
}

std::variant<MonoPcm, RecognitionError> load(const RecognitionRequest& request)
{
    MonoPcm source;
    if (!request.pcm.isEmpty()) {
        if (request.sampleRate < kMinRate || request.sampleRate > kMaxRate) {
            return unreadable(QStringLiteral("The audio's sample rate of %1 Hz is not usable").arg(request.sampleRate));
        }
        source.sampleRate = request.sampleRate;
        source.samples.resize(static_cast<size_t>(request.pcm.size() / 2));
        for (size_t i = 0; i < source.samples.size(); ++i) {
            source.samples[i] = qFromLittleEndian<qint16>(request.pcm.constData() + 2 * i);
        }
    } else {
        const QString name = QFileInfo(request.wavPath).fileName();
        FileProblem problem = FileProblem::None;
        const std::optional<QByteArray> bytes = BoundedFile::read(request.wavPath, kMaxFileBytes, &problem);
        if (problem == FileProblem::TooLarge) {
            return unreadable(QStringLiteral("The audio file \"%1\" is too large").arg(name));
        }
        if (!bytes) {
            return unreadable(QStringLiteral("Cannot open the audio file \"%1\"").arg(name));
        }
        QString whyNot;
        std::optional<MonoPcm> decoded = RiffWave::decode(*bytes, &whyNot);
        if (!decoded) {
            return unreadable(QStringLiteral("Cannot read the audio file \"%1\": %2").arg(name, whyNot));
        }
        if (decoded->sampleRate < kMinRate || decoded->sampleRate > kMaxRate) {
            return unreadable(QStringLiteral("The audio file \"%1\" has an unusable rate of %2 Hz")
                                  .arg(name)
                                  .arg(decoded->sampleRate));
        }
        source = std::move(*decoded);
    }
    return resampled(source, kDecoderRate);
}

} // namespace murmeli::platform::DecoderInput
