#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"

#include <algorithm>
#include <array>
#include <mutex>

#include <QByteArray>
#include <QFile>
#include <QList>

#include <ckd_alloc.h>
#include <cmn.h>
#include <err.h>
#include <fe.h>
#include <feat.h>
#include <ngram_model.h>
#include <pocketsphinx.h>

#include "main/common/BoundedFile.h"

namespace murmeli::platform {

namespace {

// A tenth of a second of audio per call: how soon a cancel or the time limit is noticed.
constexpr size_t kPieceSamples = 1600;
// The hypothesis is read back every half second of audio; reading it walks the search, so not after every piece.
constexpr size_t kPiecesPerPartial = 5;
// Frames of cepstra computed at a time while the take's mean is worked out.
constexpr int kMeanFrames = 256;
// The developer dictionary is a few kilobytes; anything near this is not ours.
constexpr qint64 kMaxDictionaryBytes = 1 << 20;
constexpr auto kDictationSearch = "dictation";
// How much of the mixed language model's probability comes from the dictation model; the rest is the stock one's.
constexpr float kDictationWeight = 0.5F;

void silenceLibraryLog()
{
    // The library writes pages of model details to stderr; its log switch is process-wide, so it is set once.
    static std::once_flag once;
    std::call_once(once, [] { err_set_logfp(nullptr); });
}

} // namespace

PocketsphinxDecoder::PocketsphinxDecoder(const PocketsphinxModel& model)
{
    silenceLibraryLog();
    const QByteArray acoustic = QFile::encodeName(model.acousticModelDir);
    const QByteArray language = QFile::encodeName(model.languageModelPath);
    const QByteArray dictionary = QFile::encodeName(model.dictionaryPath);
    // With a dictation model the search is made here from the mixed models, so the decoder gets no model of its own.
    m_config = model.dictationModelPath.isEmpty()
        ? cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-lm", language.constData(), "-dict",
            dictionary.constData(), static_cast<const char*>(nullptr))
        : cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-dict", dictionary.constData(),
            static_cast<const char*>(nullptr));
    if (m_config) {
        m_decoder = ps_init(m_config);
    }
    if (m_decoder && !model.dictationModelPath.isEmpty() && !useDictation(model)) {
        ps_free(m_decoder);
        m_decoder = nullptr;
    }
}

PocketsphinxDecoder::~PocketsphinxDecoder()
{
    if (m_decoder) {
        ps_free(m_decoder);
    }
    if (m_config) {
        cmd_ln_free_r(m_config);
    }
}

bool PocketsphinxDecoder::useDictation(const PocketsphinxModel& model)
{
    // The words go in before the search is made: a search knows only the words of the dictionary it was made with.
    const std::optional<QByteArray> words
        = common::BoundedFile::read(model.developerDictionaryPath, kMaxDictionaryBytes);
    if (!words) {
        return false;
    }
    for (const QByteArray& line : words->split('\n')) {
        const QByteArray entry = line.simplified();
        const qsizetype space = entry.indexOf(' ');
        if (space <= 0 || entry.startsWith('#')) {
            continue;
        }
        // A word the stock dictionary already has keeps its own pronunciations.
        const QByteArray word = entry.left(space);
        // The pronunciation found is the caller's to free.
        if (char* known = ps_lookup_word(m_decoder, word.constData())) {
            ckd_free(known);
        } else {
            ps_add_word(m_decoder, word.constData(), entry.mid(space + 1).constData(), FALSE);
        }
    }

    const QByteArray stockPath = QFile::encodeName(model.languageModelPath);
    const QByteArray dictationPath = QFile::encodeName(model.dictationModelPath);
    std::array<ngram_model_t*, 2> models {
        ngram_model_read(m_config, stockPath.constData(), NGRAM_AUTO, ps_get_logmath(m_decoder)),
        ngram_model_read(m_config, dictationPath.constData(), NGRAM_ARPA, ps_get_logmath(m_decoder)),
    };
    bool used = false;
    if (models[0] && models[1]) {
        std::array<char*, 2> names { const_cast<char*>("stock"), const_cast<char*>("dictation") };
        const std::array<float32, 2> weights { 1.0F - kDictationWeight, kDictationWeight };
        ngram_model_t* mixed = ngram_model_set_init(m_config, models.data(), names.data(), weights.data(), 2);
        if (mixed) {
            used
                = ps_set_lm(m_decoder, kDictationSearch, mixed) == 0 && ps_set_search(m_decoder, kDictationSearch) == 0;
            ngram_model_free(mixed);
        }
    }
    for (ngram_model_t* lm : models) {
        if (lm) {
            ngram_model_free(lm);
        }
    }
    return used;
}

std::vector<float> PocketsphinxDecoder::cepstralMean(std::span<const std::int16_t> samples)
{
    fe_t* frontEnd = ps_get_fe(m_decoder);
    const int width = fe_get_output_size(frontEnd);
    std::vector<mfcc_t> block(static_cast<size_t>(kMeanFrames * width));
    std::vector<mfcc_t*> rows(kMeanFrames);
    for (int i = 0; i < kMeanFrames; ++i) {
        rows[static_cast<size_t>(i)] = block.data() + static_cast<ptrdiff_t>(i) * width;
    }
    std::vector<double> sum(static_cast<size_t>(width), 0.0);
    long frames = 0;
    const auto add = [&](int count) {
        for (int f = 0; f < count; ++f) {
            for (int c = 0; c < width; ++c) {
                sum[static_cast<size_t>(c)] += rows[static_cast<size_t>(f)][c];
            }
        }
        frames += count;
    };
    if (fe_start_utt(frontEnd) < 0) {
        return {};
    }
    const int16* next = samples.data();
    size_t left = samples.size();
    while (left > 0) {
        int32 count = kMeanFrames;
        const size_t before = left;
        if (fe_process_frames(frontEnd, &next, &left, rows.data(), &count, nullptr) < 0) {
            return {};
        }
        add(count);
        if (count == 0 && left == before) {
            break;
        }
    }
    int32 last = 0;
    fe_end_utt(frontEnd, rows.front(), &last);
    add(last);
    if (frames == 0) {
        return {};
    }
    std::vector<float> mean(static_cast<size_t>(width));
    std::transform(sum.begin(), sum.end(), mean.begin(), [&](double s) { return static_cast<float>(s / frames); });
    return mean;
}

PocketsphinxDecoder::Outcome PocketsphinxDecoder::decode(std::span<const std::int16_t> samples, QString& text)
{
    if (!m_decoder) {
        return Outcome::Failed;
    }
    // Each take is a stream of its own: the noise level the front end tracks would otherwise carry over from the
    // last take, and the same words would be heard differently depending on what was said before.
    if (ps_start_stream(m_decoder) < 0) {
        return Outcome::Failed;
    }
    // The take is whole before decoding starts, so the normalisation can start from its own mean instead of the
    // model's stored one (or the last take's), while the audio still goes in pieces for the interim text.
    const std::vector<float> mean = normaliseByTakeMean ? cepstralMean(samples) : std::vector<float> {};
    if (!mean.empty() && ps_start_stream(m_decoder) < 0) {
        return Outcome::Failed;
    }
    if (ps_start_utt(m_decoder) < 0) {
        return Outcome::Failed;
    }
    if (!mean.empty()) {
        std::vector<mfcc_t> vector(mean.begin(), mean.end());
        cmn_live_set(ps_get_feat(m_decoder)->cmn_struct, vector.data());
    }
    QString lastPartial;
    size_t pieces = 0;
    for (size_t at = 0; at < samples.size(); at += kPieceSamples) {
        if (shouldStop && shouldStop()) {
            ps_end_utt(m_decoder);
            return Outcome::Stopped;
        }
        const size_t count = std::min(kPieceSamples, samples.size() - at);
        if (ps_process_raw(m_decoder, samples.data() + at, count, FALSE, FALSE) < 0) {
            ps_end_utt(m_decoder);
            return Outcome::Failed;
        }
        if (onPartial && ++pieces % kPiecesPerPartial == 0) {
            const QString partial = hypothesis();
            if (!partial.isEmpty() && partial != lastPartial) {
                lastPartial = partial;
                onPartial(partial);
            }
        }
    }
    if (ps_end_utt(m_decoder) < 0) {
        return Outcome::Failed;
    }
    text = hypothesis();
    return Outcome::Decoded;
}

QString PocketsphinxDecoder::hypothesis() const
{
    int32 score = 0;
    const char* words = ps_get_hyp(m_decoder, &score);
    return words ? QString::fromUtf8(words).simplified() : QString();
}

} // namespace murmeli::platform
