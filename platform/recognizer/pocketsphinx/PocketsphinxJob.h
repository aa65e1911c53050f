#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include <QString>

#include "platform/recognizer/RecognitionTypes.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxDecoderKeeper.h"

namespace murmeli::platform {

/// Where a decoding reports, called on the decoding thread; an implementation carries it to its own thread.
class DecodeReporter {
public:
    DecodeReporter() = default;
    virtual ~DecodeReporter() = default;
    DecodeReporter(const DecodeReporter&) = delete;
    DecodeReporter& operator=(const DecodeReporter&) = delete;

    /// Asked between steps; true ends the decoding with no further report.
    virtual bool isCancelled() const = 0;
    virtual void partial(const QString& text) = 0;
    virtual void finished(const QString& text) = 0;
    virtual void failed(const RecognitionError& error) = 0;
};

/// One recognition's work, off the caller's thread: read and convert the audio, wait for the shared decoder (loading
/// it when it is not loaded), decode. Ends in exactly one finished() or failed() unless cancelled.
struct PocketsphinxJob final {
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    RecognitionRequest request;
    std::shared_ptr<PocketsphinxDecoderKeeper> decoders;
    /// Read from the decoding thread.
    Clock clock;

    void run(DecodeReporter& reporter) const;
};

} // namespace murmeli::platform
