#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include <QTimer>

#include "platform/recognizer/SpeechRecognizer.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxDecoderKeeper.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxJob.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxModel.h"

namespace murmeli::platform {

/// On-device recognition with pocketsphinx and one packaged model. Recognitions decode on the global thread pool, one
/// at a time through one decoder, and report on the caller's thread. The decoder is loaded by the first take and
/// kept while takes follow one another; once none has come for idleTime it is freed, off this thread.
class PocketsphinxSpeechRecognizer final : public SpeechRecognizer {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultIdleTime { std::chrono::seconds(20) };

    /// clock is read on the decoding threads to hold each recognition to its time limit and to tell idleness.
    explicit PocketsphinxSpeechRecognizer(PocketsphinxModel model,
        PocketsphinxJob::Clock clock = &std::chrono::steady_clock::now,
        std::chrono::milliseconds idleTime = defaultIdleTime);
    ~PocketsphinxSpeechRecognizer() override;

    bool isAvailable() const override { return m_available; }
    bool supportsLocale(const QString& locale) const override;
    RecognizerAuthorization authorizationStatus() const override { return RecognizerAuthorization::Authorized; }
    std::unique_ptr<RecognitionTask> recognize(const RecognitionRequest& request) override;
    QString backendName() const override { return QStringLiteral("pocketsphinx"); }

    /// Decodings still at work on their threads, cancelled ones that have not yet stopped included.
    int runningDecodes() const { return *m_running; }
    /// Whether the decoder is in memory now.
    bool isModelLoaded() const { return m_decoders->isLoaded(); }

private:
    void unloadWhenIdle();

    PocketsphinxModel m_model;
    PocketsphinxJob::Clock m_clock;
    bool m_available = false;
    std::chrono::milliseconds m_idleTime;
    // Shared with the jobs, which may outlive this object.
    std::shared_ptr<PocketsphinxDecoderKeeper> m_decoders;
    std::shared_ptr<std::atomic<int>> m_running = std::make_shared<std::atomic<int>>(0);
    QTimer m_idleCheck;
};

} // namespace murmeli::platform
