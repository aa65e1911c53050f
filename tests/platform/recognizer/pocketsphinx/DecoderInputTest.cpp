#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "platform/recognizer/pocketsphinx/DecoderInput.h"

namespace murmeli::platform {
namespace {

MonoPcm tone(int rate, double hertz, double seconds)
{
    MonoPcm pcm { {}, rate };
    for (int i = 0; i < static_cast<int>(rate * seconds); ++i) {
        pcm.samples.push_back(static_cast<std::int16_t>(10000 * std::sin(2 * std::numbers::pi * hertz * i / rate)));
    }
    return pcm;
}

double rms(const std::vector<std::int16_t>& samples)
{
    double sum = 0;
    for (std::int16_t sample : samples) {
        sum += double(sample) * sample;
    }
    return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

int signChanges(const std::vector<std::int16_t>& samples)
{
    int changes = 0;
    for (size_t i = 1; i < samples.size(); ++i) {
        changes += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    return changes;
}

TEST(DecoderInput, BringsEveryRateTo16kHzKeepingSpeechAndDroppingWhatCannotBeHeldThere)
{
    struct Case {
        int rate;
        double hertz;
        bool kept; // within the 8 kHz that 16 kHz can carry
    };
    const Case cases[] = {
        { 8000, 1000, true },
        { 22050, 1000, true },
        { 44100, 3000, true },
        { 48000, 1000, true },
        { 22050, 9500, false },
        { 48000, 12000, false },
    };
    for (const Case& c : cases) {
        const MonoPcm source = tone(c.rate, c.hertz, 1.0);
        const MonoPcm out = DecoderInput::resampled(source, DecoderInput::kDecoderRate);
        EXPECT_EQ(out.sampleRate, DecoderInput::kDecoderRate);
        EXPECT_NEAR(static_cast<double>(out.samples.size()), 16000, 16) << c.rate;
        if (c.kept) {
            EXPECT_NEAR(rms(out.samples), rms(source.samples), rms(source.samples) * 0.05) << c.rate << " " << c.hertz;
            EXPECT_NEAR(signChanges(out.samples), 2 * c.hertz, 4) << c.rate << " " << c.hertz;
        } else {
            EXPECT_LT(rms(out.samples), rms(source.samples) * 0.05) << c.rate << " " << c.hertz;
        }
    }
    const MonoPcm same = tone(16000, 440, 0.1);
    EXPECT_EQ(DecoderInput::resampled(same, 16000), same);
}

} // namespace
} // namespace murmeli::platform
