#include "platform/recognizer/PresetRecognitionTask.h"

#include <utility>

#include <QMetaObject>
#include <QPointer>

namespace murmeli::platform {

PresetRecognitionOutcome PresetRecognitionOutcome::recognised(QString text, QStringList partials)
{
    PresetRecognitionOutcome outcome;
    outcome.text = std::move(text);
    outcome.partials = std::move(partials);
    return outcome;
}

PresetRecognitionOutcome PresetRecognitionOutcome::failure(RecognitionError::Code code, QString description)
{
    PresetRecognitionOutcome outcome;
    outcome.error = RecognitionError { code, std::move(description) };
    return outcome;
}

PresetRecognitionTask::PresetRecognitionTask(PresetRecognitionOutcome outcome) : m_outcome(std::move(outcome)) { }

void PresetRecognitionTask::start()
{
    if (m_started || m_done) {
        return;
    }
    m_started = true;
    QMetaObject::invokeMethod(this, &PresetRecognitionTask::deliver, Qt::QueuedConnection);
}

void PresetRecognitionTask::cancel()
{
    m_done = true;
}

void PresetRecognitionTask::deliver()
{
    // A listener may cancel or release the task from inside any of these signals.
    const QPointer<PresetRecognitionTask> self(this);
    for (const QString& partial : std::as_const(m_outcome.partials)) {
        if (!self || m_done) {
            return;
        }
        Q_EMIT partialResult(partial);
    }
    if (!self || m_done) {
        return;
    }
    m_done = true;
    if (m_outcome.error) {
        Q_EMIT failed(*m_outcome.error);
    } else if (m_outcome.text.isEmpty()) {
        Q_EMIT failed(RecognitionError::noSpeech());
    } else {
        Q_EMIT finished(m_outcome.text);
    }
}

} // namespace murmeli::platform
