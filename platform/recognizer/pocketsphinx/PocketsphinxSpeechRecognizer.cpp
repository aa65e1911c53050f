#include "platform/recognizer/pocketsphinx/PocketsphinxSpeechRecognizer.h"

#include <utility>

#include <QThreadPool>

#include "platform/recognizer/LocaleTag.h"
#include "platform/recognizer/PresetRecognitionTask.h"
#include "platform/recognizer/pocketsphinx/PocketsphinxRecognitionTask.h"

namespace murmeli::platform {

PocketsphinxSpeechRecognizer::PocketsphinxSpeechRecognizer(
    PocketsphinxModel model, PocketsphinxJob::Clock clock, std::chrono::milliseconds idleTime)
    : m_model(std::move(model)), m_clock(std::move(clock)), m_available(m_model.isComplete()), m_idleTime(idleTime),
      m_decoders(std::make_shared<PocketsphinxDecoderKeeper>(m_model, m_clock))
{
    // Checked every idle time while the decoder may be loaded, so it goes between one and two idle times after the
    // last take.
    m_idleCheck.setInterval(m_idleTime);
    connect(&m_idleCheck, &QTimer::timeout, this, &PocketsphinxSpeechRecognizer::unloadWhenIdle);
}

PocketsphinxSpeechRecognizer::~PocketsphinxSpeechRecognizer() = default;

bool PocketsphinxSpeechRecognizer::supportsLocale(const QString& locale) const
{
    // A tag without a region ("en") asks for the language, which the model's region serves.
    return m_available
        && (LocaleTag::sameLocale(locale, m_model.locale)
            || (!locale.trimmed().isEmpty() && LocaleTag::normalized(locale) == LocaleTag::language(m_model.locale)));
}

std::unique_ptr<RecognitionTask> PocketsphinxSpeechRecognizer::recognize(const RecognitionRequest& request)
{
    std::optional<RecognitionError> refusal;
    if (!m_available) {
        refusal = RecognitionError { RecognitionError::Code::Unavailable,
            QStringLiteral("On-device recognition is unavailable: %1 is missing").arg(m_model.missingFile()) };
    } else if (!supportsLocale(request.locale)) {
        refusal = RecognitionError { RecognitionError::Code::UnsupportedLocale,
            QStringLiteral("On-device recognition is not available for %1")
                .arg(request.locale.trimmed().isEmpty() ? QStringLiteral("an unnamed language") : request.locale) };
    }
    if (refusal) {
        auto task = std::make_unique<PresetRecognitionTask>(
            PresetRecognitionOutcome::failure(refusal->code, refusal->description));
        task->start();
        return task;
    }
    ++*m_running;
    if (!m_idleCheck.isActive()) {
        m_idleCheck.start();
    }
    return std::make_unique<PocketsphinxRecognitionTask>(
        PocketsphinxJob { request, m_decoders, m_clock }, [running = m_running] { --*running; });
}

void PocketsphinxSpeechRecognizer::unloadWhenIdle()
{
    if (*m_running == 0 && !m_decoders->isLoaded()) {
        m_idleCheck.stop();
        return;
    }
    // Freeing a model takes some milliseconds; this thread keeps the interface.
    QThreadPool::globalInstance()->start(
        [decoders = m_decoders, idleTime = m_idleTime] { decoders->unloadIfIdle(idleTime); });
}

} // namespace murmeli::platform
