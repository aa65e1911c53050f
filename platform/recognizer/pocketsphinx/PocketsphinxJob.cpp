#include "platform/recognizer/pocketsphinx/PocketsphinxJob.h"

#include <variant>

#include "platform/recognizer/pocketsphinx/DecoderInput.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxDecoder.h"

namespace murmeli::platform {

void PocketsphinxJob::run(DecodeReporter& reporter) const
{
    // The limit covers the whole work, the wait for an earlier take and the model's loading included: it is what the
    // caller waits through.
    const auto deadline = clock() + request.timeLimit;
    const auto overdue = [&] { return clock() >= deadline; };
    const auto reportTimeout = [&] {
        reporter.failed({ RecognitionError::Code::TimedOut,
            QStringLiteral("On-device recognition gave up after %1 s")
                .arg(std::chrono::duration<double>(request.timeLimit).count()) });
    };

    std::variant<MonoPcm, RecognitionError> input = DecoderInput::load(request);
    if (const auto* error = std::get_if<RecognitionError>(&input)) {
        reporter.failed(*error);
        return;
    }
    if (reporter.isCancelled()) {
        return;
    }
    if (overdue()) {
        reportTimeout();
        return;
    }

    const PocketsphinxDecoderKeeper::Lease lease = decoders->lease();
    if (reporter.isCancelled()) {
        return;
    }
    if (!lease.decoder()) {
        reporter.failed(
            { RecognitionError::Code::DecoderFailed, QStringLiteral("The speech decoder could not load its model") });
        return;
    }
    PocketsphinxDecoder& decoder = *lease.decoder();
    bool timedOut = false;
    decoder.shouldStop = [&] {
        if (reporter.isCancelled()) {
            return true;
        }
        timedOut = overdue();
        return timedOut;
    };
    decoder.onPartial = [&](const QString& text) { reporter.partial(text); };

    // The hints are not given to the decoder. Boosting them through a second, interpolated language model helped a
    // sentence that held a hinted word but took the article off others, and a list of a hundred unspoken words cost
    // some eight points of word accuracy; a grammar of the hints alone recognises nothing but the hints.
    QString text;
    const PocketsphinxDecoder::Outcome outcome = decoder.decode(std::get<MonoPcm>(input).samples, text);
    // The decoder outlives this take; the next one brings its own.
    decoder.shouldStop = {};
    decoder.onPartial = {};
    switch (outcome) {
    case PocketsphinxDecoder::Outcome::Stopped:
        if (timedOut) {
            reportTimeout();
        }
        return;
    case PocketsphinxDecoder::Outcome::Failed:
        reporter.failed({ RecognitionError::Code::DecoderFailed, QStringLiteral("The speech decoder failed") });
        return;
    case PocketsphinxDecoder::Outcome::Decoded:
        if (text.isEmpty()) {
            reporter.failed(RecognitionError::noSpeech());
        } else {
            reporter.finished(text);
        }
        return;
    }
}

} // namespace murmeli::platform
