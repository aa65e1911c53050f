#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QString>

#include "platform/recognizer/RecognitionTask.h"
#include "platform/recognizer/RecognitionTypes.h"

namespace murmeli::platform {

/// The recogniser on this machine: turns a finished take into text without the network. Used from one thread, which
/// must run an event loop; every answer arrives there. Never throws.
class SpeechRecognizer : public QObject {
    Q_OBJECT

public:
    SpeechRecognizer() = default;
    ~SpeechRecognizer() override = default;
    Q_DISABLE_COPY_MOVE(SpeechRecognizer)

    /// Whether the library and at least one model are present, so that a recognition can run at all.
    virtual bool isAvailable() const = 0;
    /// Whether there is a model for the locale tag ("en-US", "en_GB", "zh-CN"); false whenever unavailable.
    virtual bool supportsLocale(const QString& locale) const = 0;
    /// The user's permission to recognise speech as last known.
    virtual RecognizerAuthorization authorizationStatus() const = 0;
    /// Asks for the permission; answered later, on this thread, never from inside the call. Linux puts no prompt in
    /// front of speech recognition, so by default the answer is the current status.
    virtual void requestAuthorization(std::function<void(RecognizerAuthorization)> answer)
    {
        QMetaObject::invokeMethod(
            this, [this, answer = std::move(answer)] { answer(authorizationStatus()); }, Qt::QueuedConnection);
    }
    /// Starts recognising; the task is the caller's and always starts, reporting any refusal through failed().
    virtual std::unique_ptr<RecognitionTask> recognize(const RecognitionRequest& request) = 0;
    /// Short backend name for diagnostics: "pocketsphinx", "unavailable" or "fake".
    virtual QString backendName() const = 0;
};

} // namespace murmeli::platform
