#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "platform/recognizer/RecognitionTask.h"

namespace murmeli::test {

/// Everything a recognition task said, in order, as "partial:..", "final:.." and "error:<code>:..".
struct HeardRecognition final {
    QStringList events;

    explicit HeardRecognition(platform::RecognitionTask& task)
    {
        QObject::connect(&task, &platform::RecognitionTask::partialResult,
            [this](const QString& text) { events << "partial:" + text; });
        QObject::connect(
            &task, &platform::RecognitionTask::finished, [this](const QString& text) { events << "final:" + text; });
        QObject::connect(&task, &platform::RecognitionTask::failed,
            [this](const platform::RecognitionError& error) { events << errorEvent(error.code, error.description); });
    }

    static QString errorEvent(platform::RecognitionError::Code code, const QString& description)
    {
        return QStringLiteral("error:%1:%2").arg(static_cast<int>(code)).arg(description);
    }

    bool ended() const
    {
        return !events.isEmpty() && (events.back().startsWith("final:") || events.back().startsWith("error:"));
    }
};

} // namespace murmeli::test
