#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"

#include <algorithm>
#include <mutex>

#include <QByteArray>
#include <QFile>

#include <err.h>
#include <pocketsphinx.h>

namespace murmeli::platform {

namespace {

// A tenth of a second of audio per call: how soon a cancel or the time limit is noticed.
constexpr size_t kPieceSamples = 1600;
// The hypothesis is read back every half second of audio; reading it walks the search, so not after every piece.
constexpr size_t kPiecesPerPartial = 5;

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
    m_config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-lm", language.constData(), "-dict",
        dictionary.constData(), static_cast<const char*>(nullptr));
    if (m_config) {
        m_decoder = ps_init(m_config);
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

PocketsphinxDecoder::Outcome PocketsphinxDecoder::decode(std::span<const std::int16_t> samples, QString& text)
{
    if (!m_decoder || ps_start_utt(m_decoder) < 0) {
        return Outcome::Failed;
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
