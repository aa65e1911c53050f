#include "platform/recognizer/fake/FakeSpeechRecognizer.h"

#include <algorithm>

#include "platform/recognizer/LocaleTag.h"

namespace murmeli::platform {

bool FakeSpeechRecognizer::supportsLocale(const QString& locale) const
{
    return m_available && std::any_of(m_locales.cbegin(), m_locales.cend(), [&](const QString& known) {
        return LocaleTag::sameLocale(known, locale);
    });
}

std::unique_ptr<RecognitionTask> FakeSpeechRecognizer::recognize(const RecognitionRequest& request)
{
    m_requests.push_back(request);
    PresetRecognitionOutcome outcome;
    if (!m_available) {
        outcome = PresetRecognitionOutcome::failure(
            RecognitionError::Code::Unavailable, QStringLiteral("fake recogniser is unavailable"));
    } else if (!supportsLocale(request.locale)) {
        outcome = PresetRecognitionOutcome::failure(
            RecognitionError::Code::UnsupportedLocale, QStringLiteral("no fake model for ") + request.locale);
    } else if (!m_outcomes.empty()) {
        outcome = std::move(m_outcomes.front());
        m_outcomes.pop_front();
    }
    auto task = std::make_unique<PresetRecognitionTask>(std::move(outcome));
    if (!m_held) {
        task->start();
    }
    m_tasks.emplace_back(task.get());
    return task;
}

void FakeSpeechRecognizer::release()
{
    m_held = false;
    for (const QPointer<PresetRecognitionTask>& task : m_tasks) {
        if (task) {
            task->start();
        }
    }
}

int FakeSpeechRecognizer::inFlight() const
{
    return static_cast<int>(std::count_if(m_tasks.cbegin(), m_tasks.cend(),
        [](const QPointer<PresetRecognitionTask>& task) { return task && !task->isDone(); }));
}

} // namespace murmeli::platform
