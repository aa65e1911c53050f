#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "platform/recognizer/RecognitionTask.h"
#include "platform/recognizer/RecognitionTypes.h"

namespace murmeli::platform {

/// A recognition whose outcome is known when it is made: a refusal before any decoding, or a scripted answer.
struct PresetRecognitionOutcome final {
    QStringList partials;
    QString text;
    /// When set the task fails with it after the partials and text is ignored.
    std::optional<RecognitionError> error;

    static PresetRecognitionOutcome recognised(QString text, QStringList partials = {});
    static PresetRecognitionOutcome failure(RecognitionError::Code code, QString description);
};

/// Delivers its outcome on a later turn of its thread's event loop, never from inside the call that made it, so a
/// caller connects its signals first in every case. Empty text counts as NoSpeech, as with the real backend.
class PresetRecognitionTask final : public RecognitionTask {
    Q_OBJECT

public:
    explicit PresetRecognitionTask(PresetRecognitionOutcome outcome);

    /// Queues the delivery; without this call the task waits, which a test uses to hold a recognition in flight.
    void start();

    void cancel() override;
    bool isDone() const override { return m_done; }

private:
    void deliver();

    PresetRecognitionOutcome m_outcome;
    bool m_started = false;
    bool m_done = false;
};

} // namespace murmeli::platform
