#include "platform/recognizer/unavailable/UnavailableSpeechRecognizer.h"

#include <utility>

#include "platform/recognizer/PresetRecognitionTask.h"

namespace murmeli::platform {

UnavailableSpeechRecognizer::UnavailableSpeechRecognizer(QString reason) : m_reason(std::move(reason)) { }

RecognizerAuthorization UnavailableSpeechRecognizer::authorizationStatus() const
{
    // Linux asks no one before a program recognises speech; a missing model is availability, not permission, and
    // treating it as a refusal would also stop the cloud takes that gate on this status.
    return RecognizerAuthorization::Authorized;
}

std::unique_ptr<RecognitionTask> UnavailableSpeechRecognizer::recognize(const RecognitionRequest&)
{
    auto task = std::make_unique<PresetRecognitionTask>(PresetRecognitionOutcome::failure(
        RecognitionError::Code::Unavailable, QStringLiteral("Speech recognition is unavailable: ") + m_reason));
    task->start();
    return task;
}

} // namespace murmeli::platform
