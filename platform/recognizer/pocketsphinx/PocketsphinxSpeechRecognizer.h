#pragma once

#include <atomic>
#include <memory>

#include "platform/recognizer/SpeechRecognizer.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxJob.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

namespace murmeli::platform {

/// On-device recognition with pocketsphinx and one packaged model. Each recognition loads the model on the global
/// thread pool, decodes there and reports on the caller's thread; nothing stays in memory between takes.
class PocketsphinxSpeechRecognizer final : public SpeechRecognizer {
    Q_OBJECT

public:
    /// clock is read on the decoding threads to hold each recognition to its time limit.
    explicit PocketsphinxSpeechRecognizer(
        PocketsphinxModel model, PocketsphinxJob::Clock clock = &std::chrono::steady_clock::now);

    bool isAvailable() const override { return m_available; }
    bool supportsLocale(const QString& locale) const override;
    RecognizerAuthorization authorizationStatus() const override { return RecognizerAuthorization::Authorized; }
    std::unique_ptr<RecognitionTask> recognize(const RecognitionRequest& request) override;
    QString backendName() const override { return QStringLiteral("pocketsphinx"); }

    /// Decodings still at work on their threads, cancelled ones that have not yet stopped included.
    int runningDecodes() const { return *m_running; }

private:
    PocketsphinxModel m_model;
    PocketsphinxJob::Clock m_clock;
    bool m_available = false;
    // Shared with the jobs, which may outlive this object.
    std::shared_ptr<std::atomic<int>> m_running = std::make_shared<std::atomic<int>>(0);
};

} // namespace murmeli::platform
