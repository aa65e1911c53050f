#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/recognizer/RecognitionTask.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxJob.h"

namespace murmeli::platform {

/// A recognition decoding on the global thread pool; it reports on the thread that made it.
class PocketsphinxRecognitionTask final : public RecognitionTask {
    Q_OBJECT

public:
    /// Starts the job at once; its reports arrive through the event loop, so the caller connects first.
    /// whenEnded runs on the decoding thread once the job has returned, whether or not this task still exists.
    explicit PocketsphinxRecognitionTask(PocketsphinxJob job, std::function<void()> whenEnded = {});
    ~PocketsphinxRecognitionTask() override;

    void cancel() override;
    bool isDone() const override { return m_done; }

private:
    class Relay;

    void receivePartial(const QString& text);
    void receiveEnd(const QString& text, const std::optional<RecognitionError>& error);

    std::shared_ptr<Relay> m_relay;
    bool m_done = false;
};

} // namespace murmeli::platform
