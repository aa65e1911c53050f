#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include <QString>

#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

struct ps_decoder_s;
struct cmd_ln_s;

namespace murmeli::platform {

/// One pocketsphinx decoder with its model loaded, used by one thread at a time. Loading takes a few hundred
/// milliseconds and some 100 MB; PocketsphinxDecoderKeeper keeps one between takes and lets it go when idle.
class PocketsphinxDecoder final {
public:
    enum class Outcome { Decoded, Stopped, Failed };

    /// Loads the model; isValid() tells whether the library took it. With a dictation model, its words and the
    /// developer dictionary's join the stock ones and the two language models are mixed.
    explicit PocketsphinxDecoder(const PocketsphinxModel& model);
    ~PocketsphinxDecoder();
    PocketsphinxDecoder(const PocketsphinxDecoder&) = delete;
    PocketsphinxDecoder& operator=(const PocketsphinxDecoder&) = delete;

    bool isValid() const { return m_decoder != nullptr; }

    /// Asked between pieces of audio; true ends the decoding with Stopped.
    std::function<bool()> shouldStop;
    /// The running hypothesis whenever it has changed and is not empty.
    std::function<void(const QString&)> onPartial;
    /// Whether each take's normalisation starts from its own mean; false starts it from the model's stored mean, as
    /// for live audio, which the accuracy benchmark measures against.
    bool normaliseByTakeMean = true;

    /// Decodes 16 kHz mono samples as one utterance; with Decoded, text is the best hypothesis, "" when nothing was
    /// heard.
    Outcome decode(std::span<const std::int16_t> samples, QString& text);

private:
    bool useDictation(const PocketsphinxModel& model);
    /// The mean cepstrum of the take's speech frames, as the decoder's own front end computes them; empty when
    /// there are none.
    std::vector<float> cepstralMean(std::span<const std::int16_t> samples);
    QString hypothesis() const;

    cmd_ln_s* m_config = nullptr;
    ps_decoder_s* m_decoder = nullptr;
};

} // namespace murmeli::platform
