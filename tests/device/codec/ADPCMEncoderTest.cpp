#include "main/device/codec/ADPCMEncoder.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include <QtEndian>

#include "tests/device/support/AudioReference.h"

using namespace murmeli;
namespace adpcm = device::ADPCMEncoder;

namespace {

QByteArray pcmOf(std::initializer_list<int> samples)
{
    QByteArray pcm;
    for (const int sample : samples) {
        char bytes[2];
        qToLittleEndian(static_cast<qint16>(sample), bytes);
        pcm.append(bytes, 2);
    }
    return pcm;
}

// Speech-like material: a few tones, a loud burst that clips, silence and noise, so every code is exercised.
QByteArray testSignal(int samples)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 900);
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        double value = 9000 * std::sin(i * 0.05) + 4000 * std::sin(i * 0.31) + noise(random);
        if (i % 4000 > 3000) {
            value *= 6;
        }
        if (i % 5000 < 300) {
            value = 0;
        }
        const auto sample = static_cast<qint16>(std::clamp(value, -32768.0, 32767.0));
        qToLittleEndian(sample, pcm.data() + i * 2);
    }
    return pcm;
}

} // namespace

TEST(ADPCMEncoderTest, KnownSamplesGiveKnownBytesAndState)
{
    adpcm::State state;
    EXPECT_EQ(adpcm::encode(pcmOf({ 32767, 32767 }), state), QByteArray::fromHex("77"));
    EXPECT_EQ(state, (adpcm::State { 41, 16 }));

    state = {};
    EXPECT_EQ(adpcm::encode(pcmOf({ 1000, -1000, 0, 0 }), state), QByteArray::fromHex("f782"));
    EXPECT_EQ(state, (adpcm::State { -1, 14 }));

    state = {};
    EXPECT_EQ(adpcm::encode(QByteArray(64, '\0'), state), QByteArray(16, '\0'));
    EXPECT_EQ(adpcm::decode(QByteArray(8, '\0'), state), QByteArray(32, '\0'));
}

TEST(ADPCMEncoderTest, SampleCountsAndLeftovers)
{
    adpcm::State state;
    EXPECT_TRUE(adpcm::encode(pcmOf({ 1234 }), state).isEmpty());
    EXPECT_EQ(state, adpcm::State {});

    // The third sample is left out and does not move the state.
    adpcm::State three;
    adpcm::State two;
    EXPECT_EQ(adpcm::encode(pcmOf({ 500, 900, 20000 }), three), adpcm::encode(pcmOf({ 500, 900 }), two));
    EXPECT_EQ(three, two);

    // Five bytes are two samples and a stray byte.
    adpcm::State five;
    EXPECT_EQ(adpcm::encode(pcmOf({ 500, 900 }) + "x", five).size(), 1);

    adpcm::State decodeState;
    const QByteArray encoded = QByteArray::fromHex("f782a13c");
    const QByteArray decoded = adpcm::decode(encoded, decodeState);
    EXPECT_EQ(decoded.size(), encoded.size() * 4);
    adpcm::State again;
    EXPECT_EQ(adpcm::encode(decoded, again).size(), encoded.size());
}

TEST(ADPCMEncoderTest, AgreesWithAnIndependentReference)
{
    const QByteArray pcm = testSignal(20000);
    const auto reference = test::audioopReference(QStringLiteral("audioop.lin2adpcm(data, 2, None)[0]"), pcm);
    if (!reference) {
        GTEST_SKIP() << "no Python with the audioop module";
    }
    adpcm::State state;
    const QByteArray ours = adpcm::encode(pcm, state);
    ASSERT_EQ(ours.size(), reference->size());
    EXPECT_EQ(ours, test::swapNibbles(*reference));

    const auto decodedReference
        = test::audioopReference(QStringLiteral("audioop.adpcm2lin(data, 2, None)[0]"), test::swapNibbles(ours));
    ASSERT_TRUE(decodedReference);
    adpcm::State decodeState;
    EXPECT_EQ(adpcm::decode(ours, decodeState), *decodedReference);
}

TEST(ADPCMEncoderTest, StateCarriesAcrossCalls)
{
    const QByteArray pcm = testSignal(4000);
    adpcm::State whole;
    const QByteArray once = adpcm::encode(pcm, whole);
    adpcm::State split;
    QByteArray inTwo = adpcm::encode(pcm.left(2000), split);
    inTwo += adpcm::encode(pcm.mid(2000), split);
    EXPECT_EQ(inTwo, once);
    EXPECT_EQ(split, whole);
}

TEST(ADPCMEncoderTest, DownsampleDecimates)
{
    const QByteArray pcm = pcmOf({ 1, 2, 3, 4, 5, 6, 7 });
    EXPECT_EQ(adpcm::downsample(pcm, 16000, 8000), pcmOf({ 1, 3, 5 }));
    EXPECT_EQ(adpcm::downsample(pcm, 8000, 16000), pcm);
    EXPECT_TRUE(adpcm::downsample(pcmOf({ 9 }), 16000, 8000).isEmpty());
}
