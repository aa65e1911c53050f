#include "main/voice/dispatch/OnDeviceRecognition.h"

#include <iterator>

namespace murmeli::voice {

OnDeviceRecognition::OnDeviceRecognition(platform::SpeechRecognizer& recognizer, common::Clock& clock, QObject& context)
    : m_recognizer(recognizer), m_clock(clock), m_context(context)
{
}

OnDeviceRecognition::~OnDeviceRecognition()
{
    cancelAll();
}

void OnDeviceRecognition::recognize(const QString& wavPath, const QString& locale, const QStringList& hints)
{
    m_running.push_back({ m_recognizer.recognize(platform::RecognitionRequest::forFile(wavPath, locale, hints)), 0 });
    const auto entry = std::prev(m_running.end());
    platform::RecognitionTask* task = entry->task.get();
    // Each recognition ends in one finished or one failed; the task is let go after it, never inside its signal.
    const auto release = [this, entry] {
        m_clock.cancel(entry->limit);
        entry->task.release()->deleteLater();
        m_running.erase(entry);
    };
    // A recogniser that never answers would hold the take, and every take behind it, for good.
    entry->limit = m_clock.schedule(limitMs, [this, task, release] {
        task->cancel();
        release();
        if (onFailure) {
            onFailure(QStringLiteral("Recognition failed: no result within %1 s").arg(limitMs / 1000));
        }
    });
    QObject::connect(task, &platform::RecognitionTask::partialResult, &m_context, [this](const QString& text) {
        if (onPartial) {
            onPartial(text);
        }
    });
    QObject::connect(task, &platform::RecognitionTask::finished, &m_context, [this, release](const QString& text) {
        if (onPartial) {
            onPartial(text);
        }
        release();
        if (onText) {
            onText(text);
        }
    });
    QObject::connect(
        task, &platform::RecognitionTask::failed, &m_context, [this, release](const platform::RecognitionError& error) {
            release();
            if (onFailure) {
                onFailure(QStringLiteral("Recognition failed: ") + error.description);
            }
        });
}

void OnDeviceRecognition::cancelAll()
{
    for (Running& running : m_running) {
        m_clock.cancel(running.limit);
        running.task->cancel();
        running.task.release()->deleteLater();
    }
    m_running.clear();
}

} // namespace murmeli::voice
